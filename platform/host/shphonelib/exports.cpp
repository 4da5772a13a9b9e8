// The stand-in library's exports by their decorated names. A test variant
// leaves one out with KESTRUM_PHONE_WITHOUT_GETTER or
// KESTRUM_PHONE_WITHOUT_SETTER.
#include "platform/host/export_directory.h"
#include "platform/host/shphonelib/manner_state.h"

extern "C" __attribute__((visibility("default")))
const kestrum::ExportEntry KestrumExportDirectory[] = {
#ifndef KESTRUM_PHONE_WITHOUT_GETTER
    {u"?GetMannerMode@CshphoneClientlib@@SAHXZ",
     reinterpret_cast<void (*)()>(&kestrum::GetMannerMode)},
#endif
#ifndef KESTRUM_PHONE_WITHOUT_SETTER
    {u"?SetMannerMode@CshphoneClientlib@@SAXH@Z",
     reinterpret_cast<void (*)()>(&kestrum::SetMannerMode)},
#endif
    {nullptr, nullptr},
};
