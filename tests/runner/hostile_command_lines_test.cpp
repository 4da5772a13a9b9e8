// The longest command lines a user or another program could hand the real
// Kestrum.exe: the start-up, the heap and the runner's string limits must
// hold them, and the program must run to its exit with status 0. How lines
// split is for the start-up's unit tests and the scenario table.
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
  std::ifstream in(KESTRUM_DEVICE_IMAGE_OS52, std::ios::binary);
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

  // how: what the trace adds after the flags, such as " plays=default".
  void ExpectPlayed(const LeaveSound& sound, const std::string& quoted_path,
                    const std::string& how = "") {
    ASSERT_TRUE(sound.play);
    EXPECT_EQ(*sound.play, "path=" + quoted_path + " flags=0x00020001" + how + " -> 1");
    EXPECT_EQ(sound.beeps, 0);
  }
};

// Longer than any name the phone looks up, a word plays its default sound.
TEST_F(HostileCommandLine, LongestCommandLine) {
  const std::u16string word(kLongestCommandLine, u'a');
  ExpectPlayed(Leave(word, {word}), "\"" + std::string(kLongestCommandLine, 'a') + "\"",
               " plays=default");

  std::u16string many_words;
  while (many_words.size() + 2 <= kLongestCommandLine) many_words += u"b ";
  many_words += u'c';
  ASSERT_EQ(many_words.size(), kLongestCommandLine);
  ExpectPlayed(Leave(many_words, {u"b"}), "\"b\"");

  std::u16string quoted(kLongestCommandLine, u' ');
  quoted.front() = quoted.back() = u'"';
  ExpectPlayed(Leave(quoted), "\"" + std::string(kLongestCommandLine - 2, ' ') + "\"",
               " plays=default");
}

}  // namespace
}  // namespace cerunner
