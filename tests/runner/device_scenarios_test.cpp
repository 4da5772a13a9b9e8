// The real Kestrum.exe on the emulated phone: every scenario of the table on
// both images and on phones whose libraries are ARM or Thumb code; the OS 5.1
// image also on an OS 5.1 phone.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/scenarios/scenario.h"
#include "tools/cerunner/run_image.h"

namespace cerunner {
namespace {

using kestrum::scenarios::Scenario;

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
    {"Os52Image_Os52Phone_ArmLibraries", KESTRUM_DEVICE_IMAGE_OS52, false, 2},
    {"Os52Image_Os52Phone_ThumbLibraries", KESTRUM_DEVICE_IMAGE_OS52, true, 2},
    {"Os51Image_Os52Phone_ArmLibraries", KESTRUM_DEVICE_IMAGE_OS51, false, 2},
    {"Os51Image_Os51Phone_ArmLibraries", KESTRUM_DEVICE_IMAGE_OS51, false, 1},
    {"Os51Image_Os51Phone_ThumbLibraries", KESTRUM_DEVICE_IMAGE_OS51, true, 1},
};

void PrintTo(const Platform& platform, std::ostream* out) { *out << platform.name; }

const std::vector<uint8_t>& ImageOf(const Platform& platform) {
  static const std::vector<uint8_t> os52 = ReadImage(KESTRUM_DEVICE_IMAGE_OS52);
  static const std::vector<uint8_t> os51 = ReadImage(KESTRUM_DEVICE_IMAGE_OS51);
  return std::string_view(platform.image) == KESTRUM_DEVICE_IMAGE_OS52 ? os52 : os51;
}

RunReport RunOn(const Platform& platform, PhoneSetup setup) {
  setup.thumb_libraries = platform.thumb_libraries;
  setup.os_version = {5, platform.os_minor};
  RunReport report = RunImage(ImageOf(platform), setup);
  EXPECT_EQ(report.outcome, RunReport::Outcome::kExited) << report.message;
  return report;
}

// The runtime's own calls: its path, the word array, and the process's end
// (through TerminateProcess, whether the program called exit or returned).
bool IsRuntimeCall(const std::string& line) {
  for (const char* call :
       {" GetModuleFileNameW ", " LocalAlloc ", " LocalFree ", " TerminateProcess "}) {
    if (line.find(call) != std::string::npos) return true;
  }
  return false;
}

class DeviceScenario : public ::testing::TestWithParam<std::tuple<Platform, Scenario>> {};

TEST_P(DeviceScenario, RunsAsWritten) {
  const auto& [platform, scenario] = GetParam();
  PhoneSetup setup;
  setup.library_present = scenario.library_present;
  setup.has_getter = scenario.has_getter;
  setup.has_setter = scenario.has_setter;
  setup.manner_mode = scenario.mode;
  setup.command_line = scenario.command_line;
  if (scenario.playable != nullptr) setup.playable_files = {scenario.playable};
  if (scenario.not_a_wav != nullptr) setup.not_a_wav_files = {scenario.not_a_wav};
  setup.default_sound = scenario.default_sound;
  const RunReport report = RunOn(platform, setup);
  // Shown in the test log.
  RecordProperty("instructions", std::to_string(report.instructions));
  RecordProperty("stack_high_water", std::to_string(report.stack_high_water));
  std::vector<std::string> calls;
  std::copy_if(report.trace.begin(), report.trace.end(), std::back_inserter(calls),
               [](const std::string& line) { return !IsRuntimeCall(line); });
  const std::string difference = kestrum::scenarios::CallDifference(scenario.calls, calls);
  EXPECT_TRUE(difference.empty()) << difference;
  EXPECT_EQ(report.exit_status, scenario.status);
  EXPECT_EQ(report.manner_mode, scenario.mode_after);
}

INSTANTIATE_TEST_SUITE_P(Phones, DeviceScenario,
                         ::testing::Combine(::testing::ValuesIn(kPlatforms),
                                            ::testing::ValuesIn(kestrum::scenarios::All())),
                         [](const auto& test) {
                           return std::string(std::get<0>(test.param).name) + "_" +
                                  std::get<1>(test.param).name;
                         });

// An OS 5.1 phone's loader refuses the image marked for 5.2 before it runs.
TEST(DeviceImages, TheOs52ImageIsRefusedOnAnOs51Phone) {
  PhoneSetup setup;
  setup.os_version = {5, 1};
  const RunReport report = RunImage(ReadImage(KESTRUM_DEVICE_IMAGE_OS52), setup);
  EXPECT_EQ(report.outcome, RunReport::Outcome::kRefused);
  EXPECT_EQ(report.message.rfind("ERROR_OLD_WIN_VERSION: ", 0), 0u) << report.message;
  EXPECT_TRUE(report.trace.empty());
}

}  // namespace
}  // namespace cerunner
