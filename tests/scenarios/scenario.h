// The program's scenarios, made at build time from scenarios.toml, and the
// one comparer that shows expected and actual calls side by side.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

namespace kestrum::scenarios {

struct Scenario {
  const char* name;
  bool library_present;
  bool has_getter;
  bool has_setter;
  int32_t mode;
  const char16_t* command_line;
  const char16_t* playable;   // null: no sound file plays
  const char16_t* not_a_wav;  // null: no file that fails to play
  bool default_sound;
  std::vector<std::string> calls;
  int32_t status;
  int32_t mode_after;
};

const std::vector<Scenario>& All();

// Test names and failure messages show the scenario by its name.
void PrintTo(const Scenario& scenario, std::ostream* out);

// Empty when both are the same; otherwise both columns, line by line, with
// the first line that differs marked.
std::string CallDifference(const std::vector<std::string>& expected,
                           const std::vector<std::string>& actual);

}  // namespace kestrum::scenarios
