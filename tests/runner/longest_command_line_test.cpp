// The longest command line the platform hands a program, on the real
// Kestrum.exe: the start-up's word block, the heap it takes and the runner's
// string limits must all hold it, and the program must still run to its
// exit. How lines split is the start-up's unit tests' and the table's.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/cerunner/run_image.h"

namespace cerunner {
namespace {

constexpr size_t kLongestCommandLine = 32767;

// The PlaySoundW line that leaving manner mode gave, from its path on.
std::string LeaveSound(const std::u16string& command_line, std::vector<std::u16string> playable) {
  std::ifstream in(KESTRUM_DEVICE_IMAGE, std::ios::binary);
  const std::vector<uint8_t> image{std::istreambuf_iterator<char>(in), {}};
  PhoneSetup setup;
  setup.manner_mode = 1;
  setup.command_line = command_line;
  setup.playable_files = std::move(playable);
  const RunReport report = RunImage(image, setup);
  EXPECT_EQ(report.outcome, RunReport::Outcome::kExited) << report.message;
  EXPECT_EQ(report.exit_status, 0);
  EXPECT_EQ(report.heap_in_use, 0u);
  for (const std::string& line : report.trace) {
    if (line.find(" PlaySoundW ") != std::string::npos) return line.substr(line.find(" path="));
  }
  return "no PlaySoundW";
}

TEST(LongestCommandLine, OneWordOrManyReachesTheProgram) {
  const std::u16string word(kLongestCommandLine, u'a');
  // Longer than any file name the phone looks up: it plays its default sound.
  EXPECT_EQ(LeaveSound(word, {word}), " path=\"" + std::string(kLongestCommandLine, 'a') +
                                          "\" flags=0x00020001 plays=default -> 1");

  std::u16string many_words;
  while (many_words.size() + 2 <= kLongestCommandLine) many_words += u"b ";
  many_words += u'c';
  ASSERT_EQ(many_words.size(), kLongestCommandLine);
  EXPECT_EQ(LeaveSound(many_words, {u"b"}), " path=\"b\" flags=0x00020001 -> 1");
}

}  // namespace
}  // namespace cerunner
