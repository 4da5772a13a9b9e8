// The phone library's two entry points, as the simulated phone offers them.
#include "tools/cerunner/simulated_libraries.h"

namespace cerunner {

// An entry point of an unloaded module is no longer code on the phone.
CallResult SimulatedLibraries::GetMannerMode(const Guest&) {
  if (library_references_ == 0) return CallResult::Fault("GetMannerMode called after FreeLibrary");
  Trace(kestrum::GetMannerModeLine(mode_));
  return CallResult::Return(static_cast<uint32_t>(mode_));
}

CallResult SimulatedLibraries::SetMannerMode(const Guest& guest) {
  if (library_references_ == 0) return CallResult::Fault("SetMannerMode called after FreeLibrary");
  mode_ = static_cast<int32_t>(guest.Argument(0).value_or(0));
  Trace(kestrum::SetMannerModeLine(mode_));
  return CallResult::Return(0);
}

}  // namespace cerunner
