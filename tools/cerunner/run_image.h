// Runs a program image on the emulated phone, from the loader to its exit.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/cerunner/phone_setup.h"

namespace cerunner {

struct RunReport {
  enum class Outcome { kExited, kRefused, kStopped };
  Outcome outcome = Outcome::kStopped;
  std::string message;  // why it was refused or stopped
  int32_t exit_status = 0;
  int32_t manner_mode = 0;
  uint64_t instructions = 0;
  uint32_t stack_high_water = 0;  // bytes below the entry's stack pointer
  uint64_t virtual_ms = 0;
  uint32_t heap_in_use = 0;
  std::vector<std::string> trace;
};

// Throws std::logic_error for the runner's own failure, an emulator it
// cannot set up.
RunReport RunImage(const std::vector<uint8_t>& file, const PhoneSetup& setup);

// The stable one-line summary, e.g. "result mode=0 status=0 ...".
std::string SummaryLine(const RunReport& report);

}  // namespace cerunner
