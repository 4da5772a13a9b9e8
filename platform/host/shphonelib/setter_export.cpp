// CshphoneClientlib::SetMannerMode, exported under a same-length placeholder
// name that the post-link step renames (see getter_export.cpp).
#include "platform/host/shphonelib/manner_state.h"
#include "platform/host/trace.h"

extern "C" __attribute__((visibility("default"))) void QSetMannerModeQCshphoneClientlibQQSAXHQZ(
    int32_t value) noexcept {
  kestrum::WriteTrace(kestrum::TraceLine("SetMannerMode").Field("value", value));
  const auto folder = kestrum::MannerStateFolder();
  if (!folder) {
    kestrum::WriteToStderr("shphonelib.dll: no HOME, manner mode not stored\n");
    return;
  }
  kestrum::StoreMannerMode(*folder, value);
}
