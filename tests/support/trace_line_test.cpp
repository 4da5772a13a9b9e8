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

// Decided once for every simulation: a handle shows, as its low 32 bits,
// only when the program gave one it should not have.
TEST(TraceLine, HandlesShowOnlyWhenStray) {
  EXPECT_EQ(GetProcAddressLine("\"f\"", 0, 0x5000, true, true).At(0),
            "@0 GetProcAddressW name=\"f\" -> ok");
  EXPECT_EQ(GetProcAddressLine("", 3, 0x123456789, false, false).At(0),
            "@0 GetProcAddressW ordinal=3 module=0x23456789 -> null");
  EXPECT_EQ(FreeLibraryLine(0, false, 0).At(0), "@0 FreeLibrary module=0x00000000 -> 0");
  EXPECT_EQ(MessageBoxLine(0, "\"t\"", "null", 0x10).At(0),
            "@0 MessageBoxW style=0x00000010 caption=null text=\"t\"");
  EXPECT_EQ(MessageBoxLine(0x42, "\"t\"", "null", 0).At(0),
            "@0 MessageBoxW style=0x00000000 caption=null text=\"t\" owner=0x00000042");
}

TEST(TraceLine, NLedSetDeviceShowsTheStateByNameAndOnlyTheTimesSet) {
  const NLED_SETTINGS_INFO on = {1, 1, 0, 30, 0, 0, 0};
  const NLED_SETTINGS_INFO odd = {1, 7, 0, 0, 0, 0, 0};
  EXPECT_EQ(NLedSetDeviceLine(2, &on).At(0), "@0 NLedSetDevice id=2 led=1 state=on on_time=30");
  EXPECT_EQ(NLedSetDeviceLine(2, &odd).At(0), "@0 NLedSetDevice id=2 led=1 state=7");
  EXPECT_EQ(NLedSetDeviceLine(2, nullptr).At(0), "@0 NLedSetDevice id=2 record=null");
  EXPECT_EQ(NLedSetDeviceLine(5, &on).At(0), "@0 NLedSetDevice id=5");
}

}  // namespace
}  // namespace kestrum
