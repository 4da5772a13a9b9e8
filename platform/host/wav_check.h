// Whether a file is a WAV that the sound system plays, judged before anything
// is started so that a bad file fails the call at once.
#pragma once

namespace kestrum {

// descriptor: a regular file open for reading at its start; it stays open.
// Playable: libsndfile reads it as a WAV (RIFF, or RIFX, the big-endian
// form), plain or extensible, of 8-, 16-, 24- or 32-bit integer PCM, the
// widths aplay plays.
bool IsPlayableWav(int descriptor);

}  // namespace kestrum
