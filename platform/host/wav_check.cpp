#include "platform/host/wav_check.h"

#include <sndfile.h>

namespace kestrum {
namespace {

// Integer PCM only: float and companded samples are no PCM. aplay takes each
// of these widths from a WAV.
bool IsIntegerPcm(int format) {
  switch (format & SF_FORMAT_SUBMASK) {
    case SF_FORMAT_PCM_U8:
    case SF_FORMAT_PCM_16:
    case SF_FORMAT_PCM_24:
    case SF_FORMAT_PCM_32:
      return true;
    default:
      return false;
  }
}

bool IsWav(int format) {
  const int type = format & SF_FORMAT_TYPEMASK;
  return type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX;
}

}  // namespace

bool IsPlayableWav(int descriptor) {
  SF_INFO info{};
  SNDFILE* file = sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE);
  if (file == nullptr) return false;
  sf_close(file);
  return IsWav(info.format) && IsIntegerPcm(info.format);
}

}  // namespace kestrum
