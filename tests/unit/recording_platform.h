// A recording stand-in for the platform header: every call the program makes
// is kept as one line of text with the virtual time it was made at, so a test
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
  bool sound_playable = true;
};

struct RunOutcome {
  bool exited = false;  // ended through exit rather than by returning
  int32_t status = 0;
  int32_t final_manner_mode = 0;
  std::vector<std::string> calls;  // "@<ms> <call> <arguments>"
};

// Runs the program's entry with the given words (word 0 first) on a fresh
// simulated phone.
RunOutcome RunProgram(const SimulatedPhone& phone, const std::vector<std::u16string>& words);

// Narrows UTF-16 that holds only ASCII and Japanese text for readable
// expectations; other code units are written as \uXXXX.
std::string ToUtf8(const char16_t* text);

// For tests that drive the platform directly rather than through RunProgram.
void ResetPlatform(const SimulatedPhone& phone);
const std::vector<std::string>& RecordedCalls();
