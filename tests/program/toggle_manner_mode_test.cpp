// The whole pass over the recording platform: every scenario of the table,
// then what only a direct call can show.
#include "app/toggle_manner_mode.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/program/recording_platform.h"
#include "tests/scenarios/scenario.h"

namespace {

using kestrum::scenarios::Scenario;
using ::testing::Contains;
using ::testing::EndsWith;
using ::testing::HasSubstr;
using ::testing::Not;

class Scenarios : public ::testing::TestWithParam<Scenario> {};

// The process's end is checked as its status: a failure must leave through
// exit, a completed toggle by returning.
TEST_P(Scenarios, RunAsWritten) {
  const Scenario& scenario = GetParam();
  const SimulatedPhone phone = {
      scenario.library_present, scenario.has_getter, scenario.has_setter,   scenario.mode,
      scenario.playable,        scenario.not_a_wav,  scenario.default_sound};
  RunOutcome run = RunProgram(phone, scenario.command_line);
  if (run.exited) {
    ASSERT_FALSE(run.calls.empty());
    EXPECT_THAT(run.calls.back(), EndsWith(" exit status=" + std::to_string(run.status)));
    run.calls.pop_back();
  }
  const std::string difference = kestrum::scenarios::CallDifference(scenario.calls, run.calls);
  EXPECT_TRUE(difference.empty()) << difference;
  EXPECT_EQ(run.status, scenario.status);
  EXPECT_EQ(run.exited, scenario.status != 0);
  EXPECT_EQ(run.final_manner_mode, scenario.mode_after);
}

INSTANTIATE_TEST_SUITE_P(Table, Scenarios, ::testing::ValuesIn(kestrum::scenarios::All()),
                         [](const auto& test) { return std::string(test.param.name); });

// A start-up that counts a word it did not supply must not be read past its
// null entry: the pass treats it as no sound file.
TEST(Arguments, ACountBeyondTheWordsGivesTheBeep) {
  const char16_t* const only_program[] = {u"k.exe", nullptr};
  for (const char16_t* const* words :
       {only_program, static_cast<const char16_t* const*>(nullptr)}) {
    ResetPlatform({.manner_mode = 1});
    EXPECT_EQ(ToggleMannerMode(2, words), 0);
    EXPECT_THAT(RecordedCalls(), Contains("@0 MessageBeep type=0x00000000"));
    EXPECT_THAT(RecordedCalls(), Not(Contains(HasSubstr("PlaySoundW"))));
  }
}

}  // namespace
