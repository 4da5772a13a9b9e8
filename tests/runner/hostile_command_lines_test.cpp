// Command lines a user or another program could hand the real Kestrum.exe:
// the start-up must split each one by the quoting rules, the program must run
// to its exit with status 0, and the runner must see no fault.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "tools/cerunner/run_image.h"

namespace cerunner {
namespace {

constexpr size_t kLongestCommandLine = 32767;

std::vector<uint8_t> DeviceImage() {
  std::ifstream in(KESTRUM_DEVICE_IMAGE, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool Has(const std::string& line, const char* call) {
  return line.find(std::string(" ") + call + " ") != std::string::npos;
}

// What the leave signal was given: the PlaySoundW line's rest, or nullopt
// when only the beep came.
struct LeaveSound {
  std::optional<std::string> play;
  int beeps = 0;
};

class HostileCommandLine : public ::testing::Test {
 protected:
  // Leaving manner mode, so word 1 decides the sound.
  LeaveSound Leave(const std::u16string& command_line, std::vector<std::u16string> playable = {}) {
    static const std::vector<uint8_t> image = DeviceImage();
    PhoneSetup setup;
    setup.manner_mode = 1;
    setup.command_line = command_line;
    setup.playable_files = std::move(playable);
    const RunReport report = RunImage(image, setup);
    EXPECT_EQ(report.outcome, RunReport::Outcome::kExited) << report.message;
    EXPECT_EQ(report.exit_status, 0);
    EXPECT_EQ(report.manner_mode, 0);
    EXPECT_EQ(report.heap_in_use, 0u);
    LeaveSound sound;
    for (const std::string& line : report.trace) {
      if (Has(line, "PlaySoundW")) {
        EXPECT_FALSE(sound.play) << "second PlaySoundW: " << line;
        sound.play = line.substr(line.find("PlaySoundW ") + 11);
      }
      if (Has(line, "MessageBeep")) ++sound.beeps;
    }
    return sound;
  }

  void ExpectPlayed(const LeaveSound& sound, const std::string& quoted_path) {
    ASSERT_TRUE(sound.play);
    EXPECT_EQ(*sound.play, "path=" + quoted_path + " flags=0x00020001 -> 1");
    EXPECT_EQ(sound.beeps, 0);
  }

  void ExpectRefusedThenBeep(const LeaveSound& sound, const std::string& quoted_path) {
    ASSERT_TRUE(sound.play);
    EXPECT_EQ(*sound.play, "path=" + quoted_path + " flags=0x00020001 -> 0");
    EXPECT_EQ(sound.beeps, 1);
  }

  void ExpectNoWord(const LeaveSound& sound) {
    EXPECT_FALSE(sound.play) << *sound.play;
    EXPECT_EQ(sound.beeps, 1);
  }
};

TEST_F(HostileCommandLine, UnbalancedQuoteRunsToTheEndOfTheLine) {
  ExpectPlayed(Leave(u"\"\\My Documents\\leave me.wav", {u"\\My Documents\\leave me.wav"}),
               "\"\\\\My Documents\\\\leave me.wav\"");
  ExpectPlayed(Leave(u"a\"b c\" d\"e f", {u"ab c"}), "\"ab c\"");
  ExpectRefusedThenBeep(Leave(u"\\x.wav \"second"), "\"\\\\x.wav\"");
}

TEST_F(HostileCommandLine, OnlyQuotesMakeAnEmptyWord) {
  const char16_t* const lines[] = {u"\"\"", u"\"", u"\"\"\"\"\"", u"\"\" \"\"", u"  \"\"  "};
  for (size_t i = 0; i < std::size(lines); ++i) {
    SCOPED_TRACE(i);
    ExpectRefusedThenBeep(Leave(lines[i]), "\"\"");
  }
  ExpectRefusedThenBeep(Leave(u"\" \"\"\u3000\""), "\" \xe3\x80\x80\"");
}

TEST_F(HostileCommandLine, OnlyWhiteSpaceGivesNoWord) {
  ExpectNoWord(Leave(u" "));
  ExpectNoWord(Leave(u"\t\n\v\f\r \u00a0\u3000\u2028\u205f"));
  ExpectNoWord(Leave(std::u16string(kLongestCommandLine, u' ')));
}

TEST_F(HostileCommandLine, LongestCommandLine) {
  const std::u16string word(kLongestCommandLine, u'a');
  ExpectPlayed(Leave(word, {word}), "\"" + std::string(kLongestCommandLine, 'a') + "\"");

  std::u16string many_words;
  while (many_words.size() + 2 <= kLongestCommandLine) many_words += u"b ";
  many_words += u'c';
  ASSERT_EQ(many_words.size(), kLongestCommandLine);
  ExpectRefusedThenBeep(Leave(many_words), "\"b\"");

  std::u16string quoted(kLongestCommandLine, u' ');
  quoted.front() = quoted.back() = u'"';
  ExpectRefusedThenBeep(Leave(quoted), "\"" + std::string(kLongestCommandLine - 2, ' ') + "\"");
}

TEST_F(HostileCommandLine, IdeographicSpaceSeparatesOutsideQuotes) {
  ExpectPlayed(Leave(u"\u3000\u3000\\a.wav\u3000\\b.wav", {u"\\a.wav"}), "\"\\\\a.wav\"");
  ExpectPlayed(Leave(u"\"\\x\u3000y.wav\"\u3000z", {u"\\x\u3000y.wav"}),
               "\"\\\\x\xe3\x80\x80y.wav\"");
}

// A lone surrogate is an ordinary code unit to the splitting; it reaches
// PlaySoundW unchanged and the trace shows its bytes escaped.
TEST_F(HostileCommandLine, UnpairedSurrogatesPassThrough) {
  const std::u16string high = u"\\s\xd800.wav";
  ExpectPlayed(Leave(high + u" next", {high}), "\"\\\\s\\xed\\xa0\\x80.wav\"");
  ExpectRefusedThenBeep(Leave(u"\xdc00\"\xdbff"), "\"\\xed\\xb0\\x80\\xed\\xaf\\xbf\"");
  ExpectRefusedThenBeep(Leave(u"\u3000\xdfff\u3000\xd800"), "\"\\xed\\xbf\\xbf\"");
}

}  // namespace
}  // namespace cerunner
