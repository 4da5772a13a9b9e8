#include "platform/wince/command_line.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using Words = std::vector<std::u16string>;

// Measures, then splits into exactly the measured buffers, as the start-up
// does; the checked access catches any write past them.
Words Split(const char16_t* line) {
  const WordCounts counts = SplitCommandLine(line, nullptr, 0, nullptr, 0);
  std::vector<const char16_t*> words(counts.words);
  std::u16string text(counts.chars, u'#');
  const WordCounts again =
      SplitCommandLine(line, words.data(), counts.words, text.data(), counts.chars);
  EXPECT_EQ(again.words, counts.words);
  EXPECT_EQ(again.chars, counts.chars);
  Words result;
  for (const char16_t* word : words) result.emplace_back(word);
  return result;
}

TEST(SplitCommandLine, CutsAtWhiteSpaceOutsideQuotes) {
  EXPECT_EQ(Split(u"a bc  d"), (Words{u"a", u"bc", u"d"}));
  EXPECT_EQ(Split(u"\"\\My Documents\\leave.wav\""), (Words{u"\\My Documents\\leave.wav"}));
  EXPECT_EQ(Split(u"\"a b\" c"), (Words{u"a b", u"c"}));
}

// Backslashes carry no escaping: a path ending in one keeps it, and the quote
// after it still closes.
TEST(SplitCommandLine, BackslashesAreOrdinary) {
  EXPECT_EQ(Split(u"\"\\Storage Card\\\" x"), (Words{u"\\Storage Card\\", u"x"}));
  EXPECT_EQ(Split(u"a\\\"b c\""), (Words{u"a\\b c"}));
}

TEST(SplitCommandLine, QuotesInsideAWordAreDroppedAndJoin) {
  EXPECT_EQ(Split(u"ab\"c d\"e f"), (Words{u"abc de", u"f"}));
  EXPECT_EQ(Split(u"a\"\"b"), (Words{u"ab"}));
  EXPECT_EQ(Split(u"\"a\"\"b\""), (Words{u"ab"}));
}

TEST(SplitCommandLine, UnbalancedQuoteRunsToTheEnd) {
  EXPECT_EQ(Split(u"x \"a b  c"), (Words{u"x", u"a b  c"}));
  EXPECT_EQ(Split(u"x \"a b \t"), (Words{u"x", u"a b \t"}));
  EXPECT_EQ(Split(u"x \""), (Words{u"x", u""}));
}

TEST(SplitCommandLine, EmptyQuotesAreAnEmptyWord) {
  EXPECT_EQ(Split(u"\"\""), (Words{u""}));
  EXPECT_EQ(Split(u"a \"\" b"), (Words{u"a", u"", u"b"}));
  EXPECT_EQ(Split(u"\"\"\"\""), (Words{u""}));
}

TEST(SplitCommandLine, NoEmptyWordsFromWhiteSpace) {
  EXPECT_EQ(Split(u""), Words{});
  EXPECT_EQ(Split(nullptr), Words{});
  EXPECT_EQ(Split(u" \t\r\n "), Words{});
  EXPECT_EQ(Split(u"  a  \t b \r\n"), (Words{u"a", u"b"}));
}

TEST(SplitCommandLine, EveryUnicodeWhiteSpaceSeparates) {
  for (char16_t space :
       {u'\t', u'\n', u'\v', u'\f', u'\r', u' ', u'\u0085', u'\u00A0', u'\u1680', u'\u2000',
        u'\u2005', u'\u200A', u'\u2028', u'\u2029', u'\u202F', u'\u205F', u'\u3000'}) {
    const std::u16string line = std::u16string(u"a") + space + u"b" + space;
    EXPECT_EQ(Split(line.c_str()), (Words{u"a", u"b"})) << "U+" << std::hex << int{space};
  }
}

TEST(SplitCommandLine, LookalikesOfWhiteSpaceStayInTheWord) {
  for (char16_t other : {u'\u0008', u'\u000E', u'\u001F', u'\u00A1', u'\u180E', u'\u200B',
                         u'\u2060', u'\u3001', u'\uFEFF', u'\uFFFF'}) {
    const std::u16string line = std::u16string(u"a") + other + u"b";
    EXPECT_EQ(Split(line.c_str()), Words{line}) << "U+" << std::hex << int{other};
  }
}

TEST(SplitCommandLine, IdeographicSpaceInsideQuotesIsKept) {
  EXPECT_EQ(Split(u"\"\\マイ ドキュメント\\音.wav\"\u3000x"),
            (Words{u"\\マイ ドキュメント\\音.wav", u"x"}));
  EXPECT_EQ(Split(u"\"a\u3000b\""), (Words{u"a\u3000b"}));
}

TEST(SplitCommandLine, VeryLongWordIsNotCut) {
  const std::u16string word(100000, u'x');
  const std::u16string line = u" \"" + word + u"\" " + word;
  EXPECT_EQ(Split(line.c_str()), (Words{word, word}));
}

// A caller that sized its buffers wrong must not get writes past them.
TEST(SplitCommandLine, ShortBuffersAreNeverOverrun) {
  const char16_t* line = u"alpha beta gamma";
  std::vector<const char16_t*> words(4, nullptr);
  std::u16string text(20, u'#');
  const WordCounts counts = SplitCommandLine(line, words.data(), 1, text.data(), 7);
  EXPECT_EQ(counts.words, 3u);
  EXPECT_EQ(counts.chars, 17u);
  EXPECT_EQ(words[1], nullptr);
  EXPECT_EQ(text.substr(7), std::u16string(13, u'#'));
  EXPECT_EQ(std::u16string(words[0]), u"alpha");
}

}  // namespace
