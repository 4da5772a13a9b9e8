#include "support/utf16_codec.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace kestrum {
namespace {

TEST(Utf16Codec, DecodesValidUtf8IncludingPairs) {
  EXPECT_EQ(BytesToUtf16("a b/c.wav"), u"a b/c.wav");
  EXPECT_EQ(BytesToUtf16("\xc3\xa9\xe3\x83\xad"), u"\u00e9\u30ed");
  EXPECT_EQ(BytesToUtf16("\xf0\x9f\x94\x94"), u"\U0001F514");
}

TEST(Utf16Codec, EscapesEachByteOfAnInvalidSequence) {
  // Lone continuation, overlong '/', UTF-8-encoded surrogate, beyond U+10FFFF,
  // and a sequence cut short by the end or by an ASCII byte.
  EXPECT_EQ(BytesToUtf16("\x80"), u"\xdc80");
  EXPECT_EQ(BytesToUtf16("\xc0\xaf"), u"\xdcc0\xdcaf");
  EXPECT_EQ(BytesToUtf16("\xed\xa0\x80"), u"\xdced\xdca0\xdc80");
  EXPECT_EQ(BytesToUtf16("\xf4\x90\x80\x80"), u"\xdcf4\xdc90\xdc80\xdc80");
  EXPECT_EQ(BytesToUtf16("\xe3\x83"), u"\xdce3\xdc83");
  EXPECT_EQ(BytesToUtf16("\xe3"
                         "a"),
            u"\xdce3"
            u"a");
}

TEST(Utf16Codec, EveryByteStringSurvivesTheRoundTrip) {
  std::vector<std::string> samples = {
      "", "plain", "\xff\xfe", "caf\xc3\xa9 \xe9", "\xf0\x9f\x94", "\xed\xb2\x80"};
  std::mt19937 random(7);
  std::uniform_int_distribution<int> byte(1, 255);
  for (int i = 0; i < 2000; ++i) {
    std::string sample(static_cast<std::size_t>(i % 13), '\0');
    for (char& c : sample) c = static_cast<char>(byte(random));
    samples.push_back(sample);
  }
  for (const auto& sample : samples) {
    const auto back = Utf16ToBytes(BytesToUtf16(sample));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, sample);
  }
}

TEST(Utf16Codec, RefusesSurrogatesNoByteMapsTo) {
  EXPECT_FALSE(Utf16ToBytes(u"a\xd800").has_value());
  EXPECT_FALSE(Utf16ToBytes(u"\xdc7f").has_value());
  EXPECT_FALSE(Utf16ToBytes(u"\xdc00"
                            u"b")
                   .has_value());
  EXPECT_EQ(Utf16ToBytes(u"\xd83d\xdd14"), "\xf0\x9f\x94\x94");
}

TEST(Utf16Codec, DisplayAndTraceFormsNeverFail) {
  EXPECT_EQ(Utf16ToDisplayUtf8(u"a\xd800"
                               u"b\xdcff"),
            "a\xef\xbf\xbd"
            "b\xef\xbf\xbd");
  EXPECT_EQ(Utf16ToBytesKeepingLoneSurrogates(u"a\xd800"
                                              u"b\xdcff"),
            "a\xed\xa0\x80"
            "b\xff");
}

TEST(Utf16Codec, NullViewIsEmpty) {
  EXPECT_TRUE(Utf16View(nullptr).empty());
  EXPECT_EQ(Utf16View(u"x\0y"), u"x");
}

}  // namespace
}  // namespace kestrum
