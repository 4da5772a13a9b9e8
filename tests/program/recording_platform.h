// A recording stand-in for the platform header: every call the program makes
// is kept as its trace line at the virtual time it was made at, so a test
// can compare whole call sequences. Sleep only advances the virtual clock.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

struct SimulatedPhone {
  bool library_present = true;
  bool has_getter = true;
  bool has_setter = true;
  int32_t manner_mode = 0;
  const char16_t* playable = nullptr;   // a sound file that plays
  const char16_t* not_a_wav = nullptr;  // a file that is no playable sound
  bool default_sound = true;
};

struct RunOutcome {
  bool exited = false;  // ended through exit rather than by returning
  int32_t status = 0;
  int32_t final_manner_mode = 0;
  std::vector<std::string> calls;  // "@<ms> <Call> key=value ... [-> result]"
};

// Runs the program's entry on a fresh simulated phone with the words the
// device start-up makes of command_line.
RunOutcome RunProgram(const SimulatedPhone& phone, const char16_t* command_line);

// For tests that drive the platform directly rather than through RunProgram.
void ResetPlatform(const SimulatedPhone& phone);
const std::vector<std::string>& RecordedCalls();
