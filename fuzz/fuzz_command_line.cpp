// The device start-up's word splitting over any UTF-16 line: the words must
// match a plain reading of the quoting rules, fit the sizes it measured, and
// never be written past buffers that are too small.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "platform/wince/argument_words.h"
#include "platform/wince/command_line.h"

namespace {

using Words = std::vector<std::u16string>;

// What the line should give, read one unit at a time: white space outside
// quotes separates words, quotes switch that and are dropped.
Words ExpectedWords(const std::u16string& line) {
  Words words;
  bool quoted = false;
  bool in_word = false;
  for (const char16_t c : line) {
    if (c == u'\0') break;
    if (!quoted && IsWideSpace(c)) {
      in_word = false;
      continue;
    }
    if (!in_word) words.emplace_back();
    in_word = true;
    if (c == u'"') {
      quoted = !quoted;
    } else {
      words.back() += c;
    }
  }
  return words;
}

// Exactly sized heap buffers, so the sanitizer sees a write one past them.
struct Buffers {
  std::unique_ptr<const char16_t*[]> words;
  std::unique_ptr<char16_t[]> text;
  uint32_t word_capacity;
  uint32_t text_capacity;

  Buffers(uint32_t word_count, uint32_t text_count)
      : words(word_count != 0 ? std::make_unique<const char16_t*[]>(word_count) : nullptr),
        text(text_count != 0 ? std::make_unique<char16_t[]>(text_count) : nullptr),
        word_capacity(word_count),
        text_capacity(text_count) {}

  WordCounts Split(const char16_t* line) const {
    return SplitCommandLine(line, words.get(), word_capacity, text.get(), text_capacity);
  }
};

// Every word pointer lies in the text and its terminator before the text ends.
Words ReadWords(const Buffers& buffers, uint32_t count) {
  Words words;
  const char16_t* const text_end = buffers.text.get() + buffers.text_capacity;
  for (uint32_t i = 0; i < count; ++i) {
    const char16_t* word = buffers.words[i];
    FUZZ_CHECK(word >= buffers.text.get() && word < text_end);
    const char16_t* end = word;
    while (end < text_end && *end != u'\0') ++end;
    FUZZ_CHECK(end < text_end);
    words.emplace_back(word, end);
  }
  return words;
}

void CheckWords(const Words& words, const Words& expected, uint32_t chars) {
  FUZZ_CHECK(words == expected);
  std::size_t total = 0;
  for (const std::u16string& word : words) {
    FUZZ_CHECK(word.find(u'"') == std::u16string::npos);
    total += word.size() + 1;
  }
  FUZZ_CHECK(total == chars);
}

void CheckShortBuffers(const char16_t* line, WordCounts full, uint8_t cut) {
  const uint32_t short_words = full.words > cut % 4 ? full.words - cut % 4 : 0;
  const uint32_t short_chars = full.chars > cut ? full.chars - cut : 0;
  const Buffers buffers(short_words, short_chars);
  const WordCounts counts = buffers.Split(line);
  FUZZ_CHECK(counts.words == full.words && counts.chars == full.chars);
}

void CheckArgumentBlock(const char16_t* line, const Words& expected) {
  const char16_t path[] = u"\\Windows\\Kestrum.exe";
  const uint32_t bytes = ArgumentBlockBytes(line);
  FUZZ_CHECK(bytes != 0);
  const auto block = std::make_unique<std::max_align_t[]>(bytes / sizeof(std::max_align_t) + 1);
  const ArgumentWords none = LayOutArgumentWords(block.get(), bytes - 1, path, line);
  FUZZ_CHECK(none.count == 0 && none.words == nullptr);
  const ArgumentWords args = LayOutArgumentWords(block.get(), bytes, path, line);
  FUZZ_CHECK(args.count == static_cast<int32_t>(expected.size() + 1));
  FUZZ_CHECK(args.words[0] == path && args.words[args.count] == nullptr);
  for (std::size_t i = 0; i < expected.size(); ++i) FUZZ_CHECK(args.words[i + 1] == expected[i]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size % 2 != 0) return -1;
  std::u16string line(size / 2, u'\0');
  std::memcpy(line.data(), data, size);
  const char16_t* text = line.c_str();
  const Words expected = ExpectedWords(line);
  const std::size_t length = std::u16string(text).size();

  const WordCounts counts = SplitCommandLine(text, nullptr, 0, nullptr, 0);
  FUZZ_CHECK(counts.words == expected.size());
  FUZZ_CHECK(counts.words <= (length + 1) / 2 && counts.chars <= length + counts.words);

  const Buffers buffers(counts.words, counts.chars);
  const WordCounts filled = buffers.Split(text);
  FUZZ_CHECK(filled.words == counts.words && filled.chars == counts.chars);
  CheckWords(ReadWords(buffers, filled.words), expected, filled.chars);
  CheckShortBuffers(text, counts, size > 0 ? data[0] : 0);
  CheckArgumentBlock(text, expected);
  return 0;
}
