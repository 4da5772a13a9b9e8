#include "platform/wince/command_line.h"

namespace {

constexpr char16_t kQuote = u'"';

// Counts always; stores only inside the capacities.
class WordSink {
 public:
  WordSink(const char16_t** words, uint32_t word_capacity, char16_t* text, uint32_t text_capacity)
      : words_(words), word_capacity_(word_capacity), text_(text), text_capacity_(text_capacity) {}

  void StartWord() {
    if (counts_.words < word_capacity_) {
      words_[counts_.words] = counts_.chars < text_capacity_ ? text_ + counts_.chars : nullptr;
    }
    ++counts_.words;
  }

  void Put(char16_t c) {
    if (counts_.chars < text_capacity_) text_[counts_.chars] = c;
    ++counts_.chars;
  }

  WordCounts counts() const { return counts_; }

 private:
  const char16_t** words_;
  uint32_t word_capacity_;
  char16_t* text_;
  uint32_t text_capacity_;
  WordCounts counts_ = {0, 0};
};

const char16_t* SkipSpace(const char16_t* p) {
  while (*p != u'\0' && IsWideSpace(*p)) ++p;
  return p;
}

// An unbalanced quote keeps the word open to the end of the line.
const char16_t* TakeWord(const char16_t* p, WordSink& sink) {
  bool quoted = false;
  sink.StartWord();
  for (; *p != u'\0' && (quoted || !IsWideSpace(*p)); ++p) {
    if (*p == kQuote) {
      quoted = !quoted;
    } else {
      sink.Put(*p);
    }
  }
  sink.Put(u'\0');
  return p;
}

}  // namespace

bool IsWideSpace(char16_t c) {
  return (c >= u'\t' && c <= u'\r') || c == u' ' || c == u'\u0085' || c == u'\u00A0' ||
         c == u'\u1680' || (c >= u'\u2000' && c <= u'\u200A') || c == u'\u2028' || c == u'\u2029' ||
         c == u'\u202F' || c == u'\u205F' || c == u'\u3000';
}

WordCounts SplitCommandLine(const char16_t* line, const char16_t** words, uint32_t word_capacity,
                            char16_t* text, uint32_t text_capacity) {
  WordSink sink(words, word_capacity, text, text_capacity);
  if (line == nullptr) return sink.counts();
  for (const char16_t* p = SkipSpace(line); *p != u'\0'; p = SkipSpace(p)) p = TakeWord(p, sink);
  return sink.counts();
}
