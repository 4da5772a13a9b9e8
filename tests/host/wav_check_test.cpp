#include "platform/host/wav_check.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace kestrum {
namespace {

class MemorySource : public ByteSource {
 public:
  explicit MemorySource(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* out, std::size_t length) const override {
    if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
    std::memcpy(out, bytes_.data() + offset, length);
    return true;
  }

 private:
  std::string bytes_;
};

std::string Le(uint32_t value, int bytes) {
  std::string out;
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
  return out;
}

std::string Chunk(const std::string& id, const std::string& body) {
  std::string chunk = id + Le(static_cast<uint32_t>(body.size()), 4) + body;
  if (body.size() % 2 == 1) chunk += '\0';
  return chunk;
}

std::string Format(uint32_t tag, uint32_t channels, uint32_t rate, uint32_t bits) {
  const uint32_t align = channels * bits / 8;
  return Le(tag, 2) + Le(channels, 2) + Le(rate, 4) + Le(rate * align, 4) + Le(align, 2) +
         Le(bits, 2);
}

std::string Riff(const std::string& chunks) {
  return "RIFF" + Le(static_cast<uint32_t>(4 + chunks.size()), 4) + "WAVE" + chunks;
}

const std::string kPcm16 = Format(1, 2, 44100, 16);
const std::string kSamples(64, '\x11');

WavVerdict Check(const std::string& bytes) { return CheckPcmWav(MemorySource(bytes)); }

TEST(WavCheck, AcceptsPcmWithOtherChunksAndOddPadding) {
  EXPECT_EQ(Check(Riff(Chunk("fmt ", kPcm16) + Chunk("data", kSamples))), WavVerdict::kPlayable);
  EXPECT_EQ(Check(Riff(Chunk("LIST", "abc") + Chunk("fmt ", Format(1, 1, 8000, 8)) +
                       Chunk("data", "xyz"))),
            WavVerdict::kPlayable);
  // Trailing bytes after the RIFF body are ignored, as players do.
  EXPECT_EQ(Check(Riff(Chunk("fmt ", kPcm16) + Chunk("data", kSamples)) + "junk"),
            WavVerdict::kPlayable);
}

TEST(WavCheck, AcceptsExtensiblePcmOnly) {
  const std::string pcm_guid("\x01\x00\x00\x00\x00\x00\x10\x00\x80\x00\x00\xaa\x00\x38\x9b\x71",
                             16);
  std::string float_guid = pcm_guid;
  float_guid[0] = 3;
  const std::string base = Format(0xFFFE, 2, 48000, 16) + Le(22, 2) + Le(16, 2) + Le(3, 4);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", base + pcm_guid) + Chunk("data", kSamples))),
            WavVerdict::kPlayable);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", base + float_guid) + Chunk("data", kSamples))),
            WavVerdict::kNotPcm);
}

TEST(WavCheck, RefusesWhatIsNotRiffWave) {
  EXPECT_EQ(Check(""), WavVerdict::kTruncated);
  EXPECT_EQ(Check("RIFF"), WavVerdict::kTruncated);
  std::string avi = Riff(Chunk("fmt ", kPcm16));
  avi.replace(8, 4, "AVI ");
  EXPECT_EQ(Check(avi), WavVerdict::kNotRiffWave);
  EXPECT_EQ(Check("ID3\x04 not a wave file at all"), WavVerdict::kNotRiffWave);
}

TEST(WavCheck, RefusesSizesBeyondTheFile) {
  const std::string whole = Riff(Chunk("fmt ", kPcm16) + Chunk("data", kSamples));
  EXPECT_EQ(Check(whole.substr(0, whole.size() - 1)), WavVerdict::kTruncated);
  std::string huge_chunk = whole;
  huge_chunk.replace(whole.find("data") + 4, 4, Le(0xFFFFFFF0, 4));
  EXPECT_EQ(Check(huge_chunk), WavVerdict::kTruncated);
  std::string huge_riff = whole;
  huge_riff.replace(4, 4, Le(0xFFFFFFFF, 4));
  EXPECT_EQ(Check(huge_riff), WavVerdict::kTruncated);
}

TEST(WavCheck, RefusesCompressedOrImpossibleFormats) {
  const std::string data = Chunk("data", kSamples);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", Format(0x55, 2, 44100, 16)) + data)), WavVerdict::kNotPcm);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", Format(1, 0, 44100, 16)) + data)), WavVerdict::kBadFormat);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", Format(1, 2, 0, 16)) + data)), WavVerdict::kBadFormat);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", Format(1, 2, 44100, 12)) + data)), WavVerdict::kBadFormat);
  EXPECT_EQ(Check(Riff(Chunk("fmt ", kPcm16.substr(0, 14)) + data)), WavVerdict::kBadFormat);
  std::string wrong_align = kPcm16;
  wrong_align.replace(12, 2, Le(3, 2));
  EXPECT_EQ(Check(Riff(Chunk("fmt ", wrong_align) + data)), WavVerdict::kBadFormat);
}

TEST(WavCheck, NeedsFormatBeforeData) {
  EXPECT_EQ(Check(Riff(Chunk("fmt ", kPcm16))), WavVerdict::kNoData);
  EXPECT_EQ(Check(Riff(Chunk("data", kSamples) + Chunk("fmt ", kPcm16))), WavVerdict::kNoData);
  std::string many;
  for (int i = 0; i < 2000; ++i) many += Chunk("junk", "");
  EXPECT_EQ(Check(Riff(Chunk("fmt ", kPcm16) + many + Chunk("data", kSamples))),
            WavVerdict::kNoData);
}

}  // namespace
}  // namespace kestrum
