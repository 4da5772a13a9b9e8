// The PlaySoundW file check over any file contents, and over a file that
// shrinks after its size was taken: a verdict every time, in a bounded number
// of reads, and "playable" only for a real PCM WAV.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/host/wav_check.h"

namespace {

// Real files need a handful of reads; far more means the check is scanning.
constexpr int kMaxReads = 4096;

class BufferSource : public kestrum::ByteSource {
 public:
  BufferSource(const std::vector<uint8_t>& bytes, uint64_t claimed_size)
      : bytes_(bytes), claimed_size_(claimed_size) {}
  uint64_t Size() const override { return claimed_size_; }
  bool ReadAt(uint64_t offset, void* out, std::size_t length) const override {
    ++reads_;
    FUZZ_CHECK(reads_ <= kMaxReads);
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    if (length != 0) std::memcpy(out, bytes_.data() + offset, length);
    return true;
  }
  int reads() const { return reads_; }

 private:
  const std::vector<uint8_t>& bytes_;
  uint64_t claimed_size_;
  mutable int reads_ = 0;
};

uint32_t Le32(const std::vector<uint8_t>& bytes, std::size_t at) {
  return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16) |
         static_cast<uint32_t>(bytes[at + 3]) << 24;
}

uint16_t Le16(const std::vector<uint8_t>& bytes, std::size_t at) {
  return static_cast<uint16_t>(bytes[at] | bytes[at + 1] << 8);
}

bool TagAt(const std::vector<uint8_t>& bytes, std::size_t at, const char* tag) {
  return std::memcmp(bytes.data() + at, tag, 4) == 0;
}

bool IsPcmFormat(const std::vector<uint8_t>& bytes, std::size_t body, uint32_t size) {
  if (size < 16) return false;
  const uint16_t tag = Le16(bytes, body);
  const bool extensible_pcm = tag == 0xFFFE && size >= 40 && Le16(bytes, body + 24) == 1;
  return (tag == 1 || extensible_pcm) && Le16(bytes, body + 2) != 0 && Le32(bytes, body + 4) != 0;
}

// A RIFF/WAVE header, then a PCM "fmt " chunk before a "data" chunk, every
// chunk on the way whole inside the file.
bool IsPcmWav(const std::vector<uint8_t>& bytes) {
  if (bytes.size() < 12 || !TagAt(bytes, 0, "RIFF") || !TagAt(bytes, 8, "WAVE")) return false;
  bool have_format = false;
  for (std::size_t at = 12; at + 8 <= bytes.size();) {
    const uint32_t size = Le32(bytes, at + 4);
    if (size > bytes.size() - at - 8) return false;
    if (TagAt(bytes, at, "data")) return have_format;
    if (TagAt(bytes, at, "fmt ")) {
      if (!IsPcmFormat(bytes, at + 8, size)) return false;
      have_format = true;
    }
    at += 8 + std::size_t{size} + (size & 1);
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::vector<uint8_t> file(data, data + size);
  const BufferSource honest(file, file.size());
  if (kestrum::CheckPcmWav(honest) == kestrum::WavVerdict::kPlayable) {
    FUZZ_CHECK(IsPcmWav(file));
  }
  // The file was cut after its size was read; reads past the cut fail.
  const uint64_t claimed = file.size() + (size > 0 ? data[size - 1] : 0) + 1;
  const BufferSource shrunk(file, claimed);
  kestrum::CheckPcmWav(shrunk);
  FUZZ_CHECK(honest.reads() > 0 && shrunk.reads() > 0);
  return 0;
}
