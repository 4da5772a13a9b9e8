#include "support/coredll_answers.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kestrum {
namespace {

constexpr DWORD kFileAsync = SND_FILENAME | SND_ASYNC;

struct SoundCase {
  bool stop;
  DWORD flags;
  SoundFile found;
  bool has_default;
  BOOL result;
  SoundPlayed played;
};

TEST(AnswerPlaySound, FallsBackToTheDefaultSoundOnlyForAMissingFile) {
  const SoundCase cases[] = {
      {true, kFileAsync, SoundFile::kAbsent, false, 1, SoundPlayed::kNothing},
      {false, kFileAsync, SoundFile::kPlayable, false, 1, SoundPlayed::kFile},
      {false, kFileAsync, SoundFile::kNotPlayable, true, 0, SoundPlayed::kNothing},
      {false, kFileAsync, SoundFile::kAbsent, true, 1, SoundPlayed::kDefaultSound},
      {false, kFileAsync, SoundFile::kAbsent, false, 0, SoundPlayed::kNothing},
      {false, kFileAsync | kSndNoDefault, SoundFile::kAbsent, true, 0, SoundPlayed::kNothing},
      {false, kSndAlias | SND_ASYNC, SoundFile::kPlayable, true, 1, SoundPlayed::kDefaultSound},
      {false, kSndAlias | kFileAsync, SoundFile::kPlayable, true, 1, SoundPlayed::kFile},
  };
  for (const SoundCase& c : cases) {
    const PlaySoundAnswer answer = AnswerPlaySound(c.stop, c.flags, c.found, c.has_default);
    EXPECT_EQ(answer.result, c.result) << &c - cases;
    EXPECT_EQ(answer.played, c.played) << &c - cases;
  }
}

// A name its buffer cannot hold is not looked up at all.
TEST(FindSoundFile, TriesTheNamesOfThePhonesLookupInOrder) {
  std::vector<std::u16string> asked;
  const auto only_windows = [&asked](std::u16string_view name) {
    asked.emplace_back(name);
    return name == u"\\Windows\\x" ? SoundFile::kNotPlayable : SoundFile::kAbsent;
  };
  const FoundSound found = FindSoundFile(u"x", only_windows);
  EXPECT_EQ(found.kind, SoundFile::kNotPlayable);
  EXPECT_EQ(found.name, u"\\Windows\\x");
  EXPECT_EQ(asked, (std::vector<std::u16string>{u"x", u"x.wav", u"\\Windows\\x"}));
  asked.clear();
  EXPECT_EQ(FindSoundFile(std::u16string(251, u'x'), only_windows).kind, SoundFile::kAbsent);
  EXPECT_EQ(asked.size(), 2u);  // 251 and 255 units fit; 260 and 264 do not
}

TEST(AnswerNLedSetDevice, FailsWhatTheDriverRefuses) {
  const NLED_SETTINGS_INFO vibrator_on = {1, 1, 0, 0, 0, 0, 0};
  const NLED_SETTINGS_INFO blink = {0, 2, 1000, 400, 600, 0, 0};
  EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, &vibrator_on), 1);
  EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, &blink), 1);
  const NLED_SETTINGS_INFO refused[] = {
      {2, 1, 0, 0, 0, 0, 0},  // no third LED
      {1, 3, 0, 0, 0, 0, 0},  // no such state
      {1, -1, 0, 0, 0, 0, 0},
      {0, 2, 1000, 500, 600, 0, 0},    // on and off outlast the cycle
      {0, 2, 1000, 400, 600, -1, 0}};  // a negative meta cycle
  for (const NLED_SETTINGS_INFO& settings : refused) {
    EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, &settings), 0) << &settings - refused;
  }
  EXPECT_EQ(AnswerNLedSetDevice(NLED_SETTINGS_INFO_ID, nullptr), 0);
  EXPECT_EQ(AnswerNLedSetDevice(5, &vibrator_on), 0);
}

}  // namespace
}  // namespace kestrum
