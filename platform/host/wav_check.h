// Whether a file is a PCM WAV that the sound system can play, judged from its
// own bytes before anything is started, so a bad file fails the call at once.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kestrum {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual uint64_t Size() const = 0;
  // True only when all length bytes at offset were read.
  virtual bool ReadAt(uint64_t offset, void* out, std::size_t length) const = 0;
};

enum class WavVerdict {
  kPlayable,
  kNotRiffWave,
  kTruncated,  // a chunk or the RIFF body runs past the end of the file
  kNotPcm,
  kBadFormat,  // PCM, but with values no player accepts
  kNoData,     // no "data" chunk after "fmt "
};

WavVerdict CheckPcmWav(const ByteSource& source);

}  // namespace kestrum
