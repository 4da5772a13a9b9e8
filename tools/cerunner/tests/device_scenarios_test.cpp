// The real Kestrum.exe on the emulated phone: every scenario checks the
// whole sequence of platform calls the program makes, with virtual times.
// Each runs on both images and on phones whose libraries are ARM or Thumb
// code; the OS 5.1 image also on an OS 5.1 phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tools/cerunner/run_image.h"

namespace cerunner {
namespace {

using Lines = std::vector<std::string>;

const char kLoad[] = "LoadLibraryW name=\"shphonelib.dll\" -> ok";
const char kGetterFound[] =
    "GetProcAddressW name=\"?GetMannerMode@CshphoneClientlib@@SAHXZ\" -> ok";
const char kSetterFound[] =
    "GetProcAddressW name=\"?SetMannerMode@CshphoneClientlib@@SAXH@Z\" -> ok";
const char kVibratorOn[] = "NLedSetDevice id=2 led=1 state=on";
const char kVibratorOff[] = "NLedSetDevice id=2 led=1 state=off";
const char kExitZero[] = "TerminateProcess process=0x00000042 status=0";
const char kExitFailed[] = "TerminateProcess process=0x00000042 status=-1";

std::vector<uint8_t> ReadImage(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// An image on a phone: which file, and what the phone is.
struct Platform {
  const char* name;
  const char* image;
  bool thumb_libraries;
  uint16_t os_minor;
};

const Platform kPlatforms[] = {
    {"Os52Image_Os52Phone_ArmLibraries", KESTRUM_DEVICE_IMAGE, false, 2},
    {"Os52Image_Os52Phone_ThumbLibraries", KESTRUM_DEVICE_IMAGE, true, 2},
    {"Os51Image_Os52Phone_ArmLibraries", KESTRUM_DEVICE_IMAGE_OS51, false, 2},
    {"Os51Image_Os51Phone_ArmLibraries", KESTRUM_DEVICE_IMAGE_OS51, false, 1},
    {"Os51Image_Os51Phone_ThumbLibraries", KESTRUM_DEVICE_IMAGE_OS51, true, 1},
};

const std::vector<uint8_t>& ImageOf(const Platform& platform) {
  static const std::vector<uint8_t> os52 = ReadImage(KESTRUM_DEVICE_IMAGE);
  static const std::vector<uint8_t> os51 = ReadImage(KESTRUM_DEVICE_IMAGE_OS51);
  return std::string_view(platform.image) == KESTRUM_DEVICE_IMAGE ? os52 : os51;
}

// The start-up's own bookkeeping (its path and the word array) is checked
// separately; the scenarios compare what the program does.
Lines ProgramCalls(const RunReport& report) {
  Lines calls;
  for (const std::string& line : report.trace) {
    const bool startup = line.find(" GetModuleFileNameW ") != std::string::npos ||
                         line.find(" LocalAlloc ") != std::string::npos ||
                         line.find(" LocalFree ") != std::string::npos;
    if (!startup) calls.push_back(line);
  }
  return calls;
}

std::string At(int ms, const std::string& call) { return '@' + std::to_string(ms) + " " + call; }

Lines LeavePulses() {
  Lines pulses;
  for (int start : {0, 250, 500}) {
    pulses.push_back(At(start, kVibratorOn));
    pulses.push_back(At(start, "Sleep ms=100"));
    pulses.push_back(At(start + 100, kVibratorOff));
    pulses.push_back(At(start + 100, "Sleep ms=150"));
  }
  return pulses;
}

Lines BindAndSet(int32_t read, int written) {
  return {At(0, kLoad), At(0, kGetterFound), At(0, "GetMannerMode -> " + std::to_string(read)),
          At(0, kSetterFound), At(0, "SetMannerMode value=" + std::to_string(written))};
}

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class DeviceScenario : public ::testing::TestWithParam<Platform> {
 protected:
  RunReport Run(PhoneSetup setup) {
    setup.thumb_libraries = GetParam().thumb_libraries;
    setup.os_version = {5, GetParam().os_minor};
    RunReport report = RunImage(ImageOf(GetParam()), setup);
    // Shown in the test log; the per-scenario figures come from here.
    RecordProperty("instructions", std::to_string(report.instructions));
    RecordProperty("stack_high_water", std::to_string(report.stack_high_water));
    EXPECT_EQ(report.outcome, RunReport::Outcome::kExited) << report.message;
    return report;
  }

  static PhoneSetup Phone(int32_t mode, std::u16string command_line = u"") {
    PhoneSetup setup;
    setup.manner_mode = mode;
    setup.command_line = std::move(command_line);
    return setup;
  }
};

TEST_P(DeviceScenario, LeavingWithPlayablePathPlaysItThenThreePulses) {
  PhoneSetup setup = Phone(1, u"\\leave.wav");
  setup.playable_files = {u"\\leave.wav"};
  const RunReport report = Run(setup);
  EXPECT_EQ(ProgramCalls(report),
            Concat({BindAndSet(1, 0),
                    {At(0, "PlaySoundW path=\"\\\\leave.wav\" flags=0x00020001 -> 1")},
                    LeavePulses(),
                    {At(750, "FreeLibrary -> 1"), At(750, kExitZero)}}));
  EXPECT_EQ(report.exit_status, 0);
  EXPECT_EQ(report.manner_mode, 0);
}

TEST_P(DeviceScenario, LeavingWithUnplayablePathBeepsOnce) {
  const RunReport report = Run(Phone(1, u"\\missing.wav"));
  EXPECT_EQ(ProgramCalls(report),
            Concat({BindAndSet(1, 0),
                    {At(0, "PlaySoundW path=\"\\\\missing.wav\" flags=0x00020001 -> 0"),
                     At(0, "MessageBeep type=0x00000000")},
                    LeavePulses(),
                    {At(750, "FreeLibrary -> 1"), At(750, kExitZero)}}));
}

TEST_P(DeviceScenario, LeavingWithoutArgumentBeepsWithoutPlaying) {
  const RunReport report = Run(Phone(1));
  EXPECT_EQ(ProgramCalls(report), Concat({BindAndSet(1, 0),
                                          {At(0, "MessageBeep type=0x00000000")},
                                          LeavePulses(),
                                          {At(750, "FreeLibrary -> 1"), At(750, kExitZero)}}));
}

TEST_P(DeviceScenario, EnteringGivesOneLongPulseAndNoSoundEvenWithPath) {
  PhoneSetup setup = Phone(0, u"\\leave.wav");
  setup.playable_files = {u"\\leave.wav"};
  const RunReport report = Run(setup);
  EXPECT_EQ(ProgramCalls(report),
            Concat({BindAndSet(0, 1),
                    {At(0, kVibratorOn), At(0, "Sleep ms=500"), At(500, kVibratorOff),
                     At(500, "FreeLibrary -> 1"), At(500, kExitZero)}}));
  EXPECT_EQ(report.manner_mode, 1);
}

// The path reaches PlaySoundW whole and unquoted; later words are ignored.
TEST_P(DeviceScenario, QuotedPathWithBlanksArrivesAsOneWord) {
  PhoneSetup setup = Phone(1, u"  \"\\My Documents\\leave me.wav\"\u3000second third");
  setup.playable_files = {u"\\My Documents\\leave me.wav"};
  const Lines calls = ProgramCalls(Run(setup));
  ASSERT_GE(calls.size(), 6u);
  EXPECT_EQ(calls[5], At(0,
                         "PlaySoundW path=\"\\\\My Documents\\\\leave me.wav\" "
                         "flags=0x00020001 -> 1"));
}

TEST_P(DeviceScenario, EveryNonZeroGetterValueCountsAsOnAndWritesZero) {
  for (const int32_t value : {2, -1, INT32_MIN}) {
    SCOPED_TRACE(value);
    const RunReport report = Run(Phone(value));
    const Lines calls = ProgramCalls(report);
    const Lines expected = BindAndSet(value, 0);
    ASSERT_GE(calls.size(), 6u);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), calls.begin()));
    EXPECT_EQ(calls[5], At(0, "MessageBeep type=0x00000000"));
    EXPECT_EQ(report.exit_status, 0);
    EXPECT_EQ(report.manner_mode, 0);
  }
}

TEST_P(DeviceScenario, MissingLibraryShowsTheMessageAndLooksNothingUp) {
  PhoneSetup setup = Phone(1);
  setup.library_present = false;
  const RunReport report = Run(setup);
  EXPECT_EQ(ProgramCalls(report),
            (Lines{At(0, "LoadLibraryW name=\"shphonelib.dll\" -> null"),
                   At(0,
                      "MessageBoxW style=0x00000010 caption=\"Kestrum 1.0.0 by id:dorvil\" "
                      "text=\"shphonelib.dll がロードできませんでした。"
                      "W-ZERO3シリーズ以外には対応していません。\""),
                   At(0, kExitFailed)}));
  EXPECT_EQ(report.exit_status, -1);
  EXPECT_EQ(report.manner_mode, 1);
}

TEST_P(DeviceScenario, MissingGetterReleasesTheLibrarySilently) {
  PhoneSetup setup = Phone(1);
  setup.has_getter = false;
  const RunReport report = Run(setup);
  EXPECT_EQ(
      ProgramCalls(report),
      (Lines{At(0, kLoad),
             At(0, "GetProcAddressW name=\"?GetMannerMode@CshphoneClientlib@@SAHXZ\" -> null"),
             At(0, "FreeLibrary -> 1"), At(0, kExitFailed)}));
  EXPECT_EQ(report.exit_status, -1);
  EXPECT_EQ(report.manner_mode, 1);
}

TEST_P(DeviceScenario, MissingSetterReadsOnceAndLeavesTheModeAlone) {
  PhoneSetup setup = Phone(1);
  setup.has_setter = false;
  const RunReport report = Run(setup);
  EXPECT_EQ(
      ProgramCalls(report),
      (Lines{At(0, kLoad), At(0, kGetterFound), At(0, "GetMannerMode -> 1"),
             At(0, "GetProcAddressW name=\"?SetMannerMode@CshphoneClientlib@@SAXH@Z\" -> null"),
             At(0, "FreeLibrary -> 1"), At(0, kExitFailed)}));
  EXPECT_EQ(report.exit_status, -1);
  EXPECT_EQ(report.manner_mode, 1);
}

// Word 0 comes from the platform, and the word array is given back.
TEST_P(DeviceScenario, StartUpAsksForItsPathAndFreesTheWords) {
  const RunReport report = Run(Phone(0, u"a b"));
  ASSERT_FALSE(report.trace.empty());
  EXPECT_EQ(report.trace.front().rfind("@0 GetModuleFileNameW size=", 0), 0u);
  EXPECT_EQ(report.heap_in_use, 0u);
  EXPECT_GT(report.stack_high_water, 0u);
  EXPECT_LT(report.stack_high_water, 4096u);
}

INSTANTIATE_TEST_SUITE_P(Phones, DeviceScenario, ::testing::ValuesIn(kPlatforms),
                         [](const auto& test) { return std::string(test.param.name); });

// An OS 5.1 phone's loader refuses the image marked for 5.2 before it runs.
TEST(DeviceImages, TheOs52ImageIsRefusedOnAnOs51Phone) {
  PhoneSetup setup;
  setup.os_version = {5, 1};
  const RunReport report = RunImage(ReadImage(KESTRUM_DEVICE_IMAGE), setup);
  EXPECT_EQ(report.outcome, RunReport::Outcome::kRefused);
  EXPECT_EQ(report.message.rfind("ERROR_OLD_WIN_VERSION: ", 0), 0u) << report.message;
  EXPECT_TRUE(report.trace.empty());
}

}  // namespace
}  // namespace cerunner
