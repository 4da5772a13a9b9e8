// CshphoneClientlib::GetMannerMode and SetMannerMode, offered by their
// decorated names in the export directory. A test variant leaves one out
// with KESTRUM_PHONE_WITHOUT_GETTER or KESTRUM_PHONE_WITHOUT_SETTER.
#include "platform/host/export_directory.h"
#include "platform/host/shphonelib/manner_state.h"
#include "platform/host/trace.h"

namespace {

[[maybe_unused]] int32_t GetMannerMode() noexcept {
  const auto folder = kestrum::MannerStateFolder();
  if (!folder) kestrum::WriteToStderr("shphonelib.dll: no HOME, taking manner mode as off\n");
  const int32_t mode = folder ? kestrum::LoadMannerMode(*folder) : 0;
  kestrum::TraceLine("GetMannerMode").Result(mode).Write();
  return mode;
}

[[maybe_unused]] void SetMannerMode(int32_t value) noexcept {
  kestrum::TraceLine("SetMannerMode").Field("value", value).Write();
  const auto folder = kestrum::MannerStateFolder();
  if (!folder) {
    kestrum::WriteToStderr("shphonelib.dll: no HOME, manner mode not stored\n");
    return;
  }
  kestrum::StoreMannerMode(*folder, value);
}

}  // namespace

extern "C" __attribute__((visibility("default")))
const kestrum::ExportEntry KestrumExportDirectory[] = {
#ifndef KESTRUM_PHONE_WITHOUT_GETTER
    {u"?GetMannerMode@CshphoneClientlib@@SAHXZ", reinterpret_cast<void (*)()>(&GetMannerMode)},
#endif
#ifndef KESTRUM_PHONE_WITHOUT_SETTER
    {u"?SetMannerMode@CshphoneClientlib@@SAXH@Z", reinterpret_cast<void (*)()>(&SetMannerMode)},
#endif
    {nullptr, nullptr},
};
