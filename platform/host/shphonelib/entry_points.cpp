// CshphoneClientlib::GetMannerMode and SetMannerMode. Kept apart from the
// export directory so that, linked from an archive, none of what they use
// becomes an export of the library.
#include "platform/host/shphonelib/manner_state.h"
#include "platform/host/trace.h"

namespace kestrum {

int32_t GetMannerMode() noexcept {
  const auto folder = MannerStateFolder();
  if (!folder) WriteToStderr("shphonelib.dll: no HOME, taking manner mode as off\n");
  const int32_t mode = folder ? LoadMannerMode(*folder) : 0;
  WriteTrace(GetMannerModeLine(mode));
  return mode;
}

void SetMannerMode(int32_t value) noexcept {
  WriteTrace(SetMannerModeLine(value));
  const auto folder = MannerStateFolder();
  if (!folder) {
    WriteToStderr("shphonelib.dll: no HOME, manner mode not stored\n");
    return;
  }
  StoreMannerMode(*folder, value);
}

}  // namespace kestrum
