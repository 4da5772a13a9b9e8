// CshphoneClientlib::GetMannerMode, exported under a same-length placeholder
// name; the post-link step renames it to the decorated name, which no
// ordinary link can export because of its '@'.
#include "platform/host/shphonelib/manner_state.h"
#include "platform/host/trace.h"

extern "C" __attribute__((visibility("default"))) int32_t
QGetMannerModeQCshphoneClientlibQQSAHXZ() noexcept {
  const auto folder = kestrum::MannerStateFolder();
  if (!folder) kestrum::WriteToStderr("shphonelib.dll: no HOME, taking manner mode as off\n");
  const int32_t mode = folder ? kestrum::LoadMannerMode(*folder) : 0;
  kestrum::WriteTrace(kestrum::TraceLine("GetMannerMode").Result(mode));
  return mode;
}
