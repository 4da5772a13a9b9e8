// The whole pass over the recording platform: which calls, with which
// arguments, in which order, at which virtual time, and how the run ends.
#include "app/toggle_manner_mode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/unit/recording_platform.h"

namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::HasSubstr;
using ::testing::Not;

const std::u16string kProgram = u"\\Windows\\Kestrum.exe";
const std::string kGetter = "?GetMannerMode@CshphoneClientlib@@SAHXZ";
const std::string kSetter = "?SetMannerMode@CshphoneClientlib@@SAXH@Z";
const std::string kOn = "NLedSetDevice 2 {1,1,0,0,0,0,0}";
const std::string kOff = "NLedSetDevice 2 {1,0,0,0,0,0,0}";

std::vector<std::string> BindingCalls(const std::string& mode) {
  return {"@0 LoadLibraryW shphonelib.dll", "@0 GetProcAddressW phone " + kGetter,
          "@0 GetMannerMode", "@0 GetProcAddressW phone " + kSetter, "@0 SetMannerMode " + mode};
}

// Leaving: the sound (or beep) first, then on 100 ms, off 150 ms, three times.
std::vector<std::string> LeaveCalls(const std::string& sound_calls_joined) {
  std::vector<std::string> calls = BindingCalls("0");
  for (size_t start = 0, end; start < sound_calls_joined.size(); start = end + 1) {
    end = sound_calls_joined.find('|', start);
    if (end == std::string::npos) end = sound_calls_joined.size();
    calls.push_back("@0 " + sound_calls_joined.substr(start, end - start));
  }
  for (int at : {0, 250, 500}) {
    calls.push_back('@' + std::to_string(at) + " " + kOn);
    calls.push_back('@' + std::to_string(at + 100) + " " + kOff);
  }
  calls.push_back("@750 FreeLibrary phone");
  return calls;
}

TEST(EnterMannerMode, OneLongPulseAndNoSoundEvenWithAPath) {
  for (const auto& words : {std::vector<std::u16string>{kProgram},
                            std::vector<std::u16string>{kProgram, u"\\leave.wav"}}) {
    const RunOutcome run = RunProgram({.manner_mode = 0}, words);
    std::vector<std::string> expected = BindingCalls("1");
    expected.insert(expected.end(), {"@0 " + kOn, "@500 " + kOff, "@500 FreeLibrary phone"});
    EXPECT_THAT(run.calls, ElementsAreArray(expected));
    EXPECT_FALSE(run.exited);
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.final_manner_mode, 1);
  }
}

TEST(LeaveMannerMode, AnyNonZeroModeCountsAsOn) {
  for (int32_t mode : {1, 2, -1, INT32_MIN, INT32_MAX}) {
    const RunOutcome run = RunProgram({.manner_mode = mode}, {kProgram, u"\\My Documents\\a.wav"});
    EXPECT_THAT(run.calls,
                ElementsAreArray(LeaveCalls("PlaySoundW [\\My Documents\\a.wav] no-module "
                                            "0x00020001")))
        << "mode " << mode;
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.final_manner_mode, 0);
  }
}

TEST(LeaveMannerMode, BeepsOnceWhenNoPathOrTheSoundIsRefused) {
  const RunOutcome no_path = RunProgram({.manner_mode = 1}, {kProgram});
  EXPECT_THAT(no_path.calls, ElementsAreArray(LeaveCalls("MessageBeep 0x00000000")));
  EXPECT_EQ(no_path.status, 0);

  const RunOutcome refused =
      RunProgram({.manner_mode = 1, .sound_playable = false}, {kProgram, u"missing.wav"});
  EXPECT_THAT(refused.calls,
              ElementsAreArray(LeaveCalls(
                  "PlaySoundW [missing.wav] no-module 0x00020001|MessageBeep 0x00000000")));
  EXPECT_EQ(refused.status, 0);
}

TEST(LeaveMannerMode, OnlyWordOneIsTheSoundAndItIsPassedAsGiven) {
  const RunOutcome extra = RunProgram({.manner_mode = 1}, {kProgram, u"first.wav", u"second.wav"});
  EXPECT_THAT(extra.calls, ElementsAreArray(LeaveCalls("PlaySoundW [first.wav] no-module "
                                                       "0x00020001")));

  const RunOutcome empty = RunProgram({.manner_mode = 1}, {kProgram, u""});
  EXPECT_THAT(empty.calls, ElementsAreArray(LeaveCalls("PlaySoundW [] no-module 0x00020001")));

  const RunOutcome japanese = RunProgram({.manner_mode = 1}, {kProgram, u"\\音\u3000楽.wav"});
  EXPECT_THAT(japanese.calls, ElementsAreArray(LeaveCalls("PlaySoundW [\\音\u3000楽.wav] "
                                                          "no-module 0x00020001")));
}

TEST(LibraryMissing, OnlyTheMessageBoxThenExitMinusOne) {
  const RunOutcome run = RunProgram({.library_present = false, .manner_mode = 1}, {kProgram});
  EXPECT_THAT(run.calls,
              ElementsAre("@0 LoadLibraryW shphonelib.dll",
                          "@0 MessageBoxW no-owner 0x00000010 [Kestrum 1.0.0 by id:dorvil] "
                          "[shphonelib.dll がロードできませんでした。W-ZERO3シリーズ以外には対応"
                          "していません。]",
                          "@0 exit -1"));
  EXPECT_TRUE(run.exited);
  EXPECT_EQ(run.status, -1);
  EXPECT_EQ(run.final_manner_mode, 1);
}

TEST(EntryPointMissing, ReleasesTheLibraryAndEndsSilentlyWithTheModeUntouched) {
  const RunOutcome no_getter = RunProgram({.has_getter = false, .manner_mode = 1}, {kProgram});
  EXPECT_THAT(no_getter.calls,
              ElementsAre("@0 LoadLibraryW shphonelib.dll", "@0 GetProcAddressW phone " + kGetter,
                          "@0 FreeLibrary phone", "@0 exit -1"));
  EXPECT_EQ(no_getter.status, -1);
  EXPECT_EQ(no_getter.final_manner_mode, 1);

  for (int32_t mode : {0, 1}) {
    const RunOutcome no_setter =
        RunProgram({.has_setter = false, .manner_mode = mode}, {kProgram, u"a.wav"});
    EXPECT_THAT(no_setter.calls,
                ElementsAre("@0 LoadLibraryW shphonelib.dll", "@0 GetProcAddressW phone " + kGetter,
                            "@0 GetMannerMode", "@0 GetProcAddressW phone " + kSetter,
                            "@0 FreeLibrary phone", "@0 exit -1"));
    EXPECT_TRUE(no_setter.exited);
    EXPECT_EQ(no_setter.status, -1);
    EXPECT_EQ(no_setter.final_manner_mode, mode);
  }
}

// A start-up that counts a word it did not supply must not be read past its
// null entry: the pass treats it as no sound file.
TEST(Arguments, ACountBeyondTheWordsGivesTheBeep) {
  const char16_t* const only_program[] = {u"k.exe", nullptr};
  for (const char16_t* const* words :
       {only_program, static_cast<const char16_t* const*>(nullptr)}) {
    ResetPlatform({.manner_mode = 1});
    EXPECT_EQ(ToggleMannerMode(2, words), 0);
    EXPECT_THAT(RecordedCalls(), Contains("@0 MessageBeep 0x00000000"));
    EXPECT_THAT(RecordedCalls(), Not(Contains(HasSubstr("PlaySoundW"))));
  }
}

}  // namespace
