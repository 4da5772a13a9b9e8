#include "platform/host/wav_check.h"

#include <cstring>

namespace kestrum {
namespace {

constexpr uint16_t kFormatPcm = 0x0001;
constexpr uint16_t kFormatExtensible = 0xFFFE;
constexpr std::size_t kPcmFormatSize = 16;
constexpr std::size_t kExtensibleFormatSize = 40;
constexpr std::size_t kSubFormatOffset = 24;
// KSDATAFORMAT_SUBTYPE_PCM as it lies in the file.
constexpr unsigned char kPcmSubFormat[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                             0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};
// Real files hold a handful of chunks; a cap keeps a crafted file of tiny
// chunks from turning the check into a long scan.
constexpr int kMaxChunks = 1024;

uint32_t Le32(const unsigned char* bytes) {
  return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
         static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

uint16_t Le16(const unsigned char* bytes) {
  return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}

bool IsTag(const unsigned char* bytes, const char (&tag)[5]) {
  return std::memcmp(bytes, tag, 4) == 0;
}

bool IsPcmTag(uint16_t tag, const unsigned char* format, uint32_t size) {
  if (tag == kFormatPcm) return true;
  return tag == kFormatExtensible && size >= kExtensibleFormatSize &&
         std::memcmp(format + kSubFormatOffset, kPcmSubFormat, sizeof kPcmSubFormat) == 0;
}

WavVerdict CheckFormat(const ByteSource& source, uint64_t offset, uint32_t size) {
  unsigned char format[kExtensibleFormatSize] = {};
  if (size < kPcmFormatSize) return WavVerdict::kBadFormat;
  const std::size_t wanted = size < sizeof format ? size : sizeof format;
  if (!source.ReadAt(offset, format, wanted)) return WavVerdict::kTruncated;
  if (!IsPcmTag(Le16(format), format, size)) return WavVerdict::kNotPcm;
  const uint32_t channels = Le16(format + 2);
  const uint32_t rate = Le32(format + 4);
  const uint32_t block_align = Le16(format + 12);
  const uint32_t bits = Le16(format + 14);
  const bool bits_ok = bits == 8 || bits == 16 || bits == 24 || bits == 32;
  if (channels == 0 || rate == 0 || !bits_ok || block_align != channels * bits / 8) {
    return WavVerdict::kBadFormat;
  }
  return WavVerdict::kPlayable;
}

WavVerdict CheckChunks(const ByteSource& source, uint64_t riff_end) {
  bool have_format = false;
  uint64_t offset = 12;
  for (int chunk = 0; chunk < kMaxChunks && offset + 8 <= riff_end; ++chunk) {
    unsigned char header[8];
    if (!source.ReadAt(offset, header, sizeof header)) return WavVerdict::kTruncated;
    const uint32_t size = Le32(header + 4);
    const uint64_t body = offset + 8;
    if (body + size > riff_end) return WavVerdict::kTruncated;
    if (IsTag(header, "fmt ")) {
      const WavVerdict verdict = CheckFormat(source, body, size);
      if (verdict != WavVerdict::kPlayable) return verdict;
      have_format = true;
    } else if (IsTag(header, "data")) {
      return have_format ? WavVerdict::kPlayable : WavVerdict::kNoData;
    }
    offset = body + size + (size & 1);
  }
  return WavVerdict::kNoData;
}

}  // namespace

WavVerdict CheckPcmWav(const ByteSource& source) {
  unsigned char header[12];
  if (!source.ReadAt(0, header, sizeof header)) return WavVerdict::kTruncated;
  if (!IsTag(header, "RIFF") || !IsTag(header + 8, "WAVE")) return WavVerdict::kNotRiffWave;
  const uint64_t riff_end = 8 + static_cast<uint64_t>(Le32(header + 4));
  if (riff_end > source.Size()) return WavVerdict::kTruncated;
  return CheckChunks(source, riff_end);
}

}  // namespace kestrum
