#include "platform/host/wav_check.h"

#include <sndfile.h>

#include <array>
#include <charconv>
#include <string_view>

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

// libsndfile reads samples of a width between these (12 bits, say) as the
// next one up, which aplay refuses to play; only libsndfile's header log
// keeps the width the file declares. A log without it is refused.
bool DeclaresAWidthAplayTakes(SNDFILE* file) {
  std::array<char, 4096> log{};
  sf_command(file, SFC_GET_LOG_INFO, log.data(), static_cast<int>(log.size()));
  const std::string_view text(log.data());
  constexpr std::string_view kWidth = "Bit Width     : ";
  const std::size_t at = text.find(kWidth);
  if (at == std::string_view::npos) return false;
  int bits = 0;
  std::from_chars(text.data() + at + kWidth.size(), text.data() + text.size(), bits);
  return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool IsPlayableWav(int descriptor) {
  SF_INFO info{};
  SNDFILE* file = sf_open_fd(descriptor, SFM_READ, &info, SF_FALSE);
  if (file == nullptr) return false;
  const bool playable =
      IsWav(info.format) && IsIntegerPcm(info.format) && DeclaresAWidthAplayTakes(file);
  sf_close(file);
  return playable;
}

}  // namespace kestrum
