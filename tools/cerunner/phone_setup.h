// What the simulated phone holds before a run: its phone library, manner
// mode, files and default sound, and how the program was started.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "packaging/installed_program.h"
#include "tools/cerunner/pe_image.h"

namespace cerunner {

struct PhoneSetup {
  bool library_present = true;
  bool has_getter = true;
  bool has_setter = true;
  int32_t manner_mode = 0;
  std::vector<std::u16string> playable_files;
  std::vector<std::u16string> not_a_wav_files;  // there, but no playable sound
  bool default_sound = true;
  std::u16string command_line;  // without the program's name, as the platform passes it
  // Where the cabinets install the program, so that LoadLibraryW finds the
  // phone library in \Windows, as on an installed phone, not beside it.
  std::u16string module_path = kestrum::kInstalledProgramPath;
  // The phone's libraries are built for ARMV4I and may be Thumb code.
  bool thumb_libraries = false;
  OsVersion os_version;
  uint64_t instruction_budget = 10'000'000;
};

}  // namespace cerunner
