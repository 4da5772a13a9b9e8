// The phone's reading of a sound file: any bytes get a verdict after a
// number of reads that grows only with their size, even where the phone's
// own scan would go round for ever.
#include <algorithm>
#include <cstdint>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "support/coredll_answers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view file(reinterpret_cast<const char*>(data), size);
  std::size_t reads = 0;
  kestrum::JudgeOpenedSoundFile([&](std::uint64_t offset, std::span<unsigned char> into) {
    FUZZ_CHECK(++reads <= 16 * size + 16);
    const auto at = static_cast<std::size_t>(std::min<std::uint64_t>(offset, size));
    return file.copy(reinterpret_cast<char*>(into.data()), into.size(), at);
  });
  return 0;
}
