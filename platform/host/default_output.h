// Whether the default ALSA output opens now and takes a sound's format,
// which PlaySoundW asks before it starts the player.
#pragma once

#include "support/coredll_answers.h"

namespace kestrum {

enum class DefaultOutput { kTakesIt, kNoAlsa, kRefuses };

// Loads ALSA on the first call, so that a run that plays no file loads no
// sound library. kNoAlsa: libasound.so.2 or one of its calls is missing;
// kRefuses: the output does not open, or not for this format.
DefaultOutput CheckDefaultOutput(const PlayableSound& sound);

}  // namespace kestrum
