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

// libsndfile also reads RIFX, the big-endian form, as WAV; Microsoft's WAV
// is little-endian RIFF only.
bool IsRiffWav(int format) {
  const int type = format & SF_FORMAT_TYPEMASK;
  return (type == SF_FORMAT_WAV || type == SF_FORMAT_WAVEX) &&
         (format & SF_FORMAT_ENDMASK) != SF_ENDIAN_BIG;
}

}  // namespace

bool IsPlayableWav(int descriptor) {
  SF_INFO info{};
  SNDFILE* file = sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE);
  if (file == nullptr) return false;
  sf_close(file);
  return IsRiffWav(info.format) && IsIntegerPcm(info.format);
}

}  // namespace kestrum
