// Whether the default ALSA output opens now, which PlaySoundW asks before it
// starts the player.
#pragma once

namespace kestrum {

// Loads ALSA on the first call, so that a run that plays no file loads no
// sound library; false when ALSA cannot be loaded or the output does not
// open.
bool CanOpenDefaultOutput();

}  // namespace kestrum
