#include "support/trace_line.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(TraceQuoting, EscapesQuotesControlsAndInvalidBytes) {
  EXPECT_EQ(QuoteForTrace(std::string_view("a \"b\" \\c")), R"("a \"b\" \\c")");
  EXPECT_EQ(QuoteForTrace(std::string_view("\n\t\x7f\x1b")), R"("\x0a\x09\x7f\x1b")");
  EXPECT_EQ(QuoteForTrace(std::string_view("\xff\xc3\xa9\xc3")), R"("\xffé\xc3")");
  EXPECT_EQ(QuoteForTrace(std::string_view("\xed\xa0\x80")), R"("\xed\xa0\x80")");
}

TEST(TraceQuoting, WideTextShowsEscapedBytesAsTheyCame) {
  EXPECT_EQ(QuoteForTrace(std::u16string_view(u"\x30ed \xdcff")), "\"\xe3\x83\xad \\xff\"");
  EXPECT_EQ(QuoteForTrace(std::u16string_view(u"\xd800")), R"("\xed\xa0\x80")");
}

TEST(TraceLine, IsOneLineInTheSharedShape) {
  const std::string text = TraceLine("PlaySoundW")
                               .Field("path", "\"x\"")
                               .Field("flags", Hex32(0x20001))
                               .Result(1)
                               .At(750);
  EXPECT_EQ(text, "@750 PlaySoundW path=\"x\" flags=0x00020001 -> 1");
  EXPECT_EQ(Hex32(0xFFFFFFFF), "0xffffffff");
}

}  // namespace
}  // namespace kestrum
