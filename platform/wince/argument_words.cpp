#include "platform/wince/argument_words.h"

#include "platform/wince/command_line.h"

namespace {

constexpr uint64_t kMaxBlockBytes = 0xFFFFFFFFu;

// Word 0 and the null entry come on top of the command-line words.
constexpr uint32_t kExtraEntries = 2;

uint64_t BlockBytes(WordCounts counts) {
  return (uint64_t{counts.words} + kExtraEntries) * sizeof(const char16_t*) +
         uint64_t{counts.chars} * sizeof(char16_t);
}

}  // namespace

uint32_t ArgumentBlockBytes(const char16_t* line) {
  const uint64_t bytes = BlockBytes(SplitCommandLine(line, nullptr, 0, nullptr, 0));
  return bytes <= kMaxBlockBytes ? static_cast<uint32_t>(bytes) : 0;
}

ArgumentWords LayOutArgumentWords(void* block, uint32_t block_bytes, const char16_t* path,
                                  const char16_t* line) {
  const WordCounts counts = SplitCommandLine(line, nullptr, 0, nullptr, 0);
  if (block == nullptr || BlockBytes(counts) > block_bytes) return {0, nullptr};

  auto* words = static_cast<const char16_t**>(block);
  auto* text = reinterpret_cast<char16_t*>(words + counts.words + kExtraEntries);
  words[0] = path;
  SplitCommandLine(line, words + 1, counts.words, text, counts.chars);
  words[counts.words + 1] = nullptr;
  return {static_cast<int32_t>(counts.words + 1), words};
}
