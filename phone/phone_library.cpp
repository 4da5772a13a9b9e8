#include "phone/phone_library.h"

#include "phone/caption.h"

namespace {

constexpr int kBindingFailed = -1;

constexpr LPCWSTR kLibraryName = u"shphonelib.dll";
constexpr LPCWSTR kGetterExport = u"?GetMannerMode@CshphoneClientlib@@SAHXZ";
constexpr LPCWSTR kSetterExport = u"?SetMannerMode@CshphoneClientlib@@SAXH@Z";

constexpr LPCWSTR kLoadFailedText =
    u"shphonelib.dll がロードできませんでした。W-ZERO3シリーズ以外には対応していません。";
constexpr LPCWSTR kLoadFailedCaption = KESTRUM_CAPTION;

// void(*)() is the one pointer type that any entry point converts through
// without a warning about the signature it really has.
template <typename Fn>
Fn EntryPointAs(FARPROC entry) {
  return reinterpret_cast<Fn>(reinterpret_cast<void (*)()>(entry));
}

}  // namespace

void PhoneLibrary::Open() {
  module_ = LoadLibraryW(kLibraryName);
  if (module_ == nullptr) {
    // MB_OK is zero; it is spelled out because the box's one button is part of its style.
    // cppcheck-suppress badBitmaskCheck
    MessageBoxW(nullptr, kLoadFailedText, kLoadFailedCaption, MB_ICONHAND | MB_OK);
    exit(kBindingFailed);
  }
}

int32_t PhoneLibrary::ReadMannerMode() {
  getter_ = EntryPointAs<GetMannerModeFn>(GetProcAddressW(module_, kGetterExport));
  if (getter_ == nullptr) CloseAndFail();
  return getter_();
}

void PhoneLibrary::ResolveSetter() {
  setter_ = EntryPointAs<SetMannerModeFn>(GetProcAddressW(module_, kSetterExport));
  if (setter_ == nullptr) CloseAndFail();
}

void PhoneLibrary::WriteMannerMode(int32_t value) const { setter_(value); }

// Entry points die with the module, so they are dropped with it; a second
// Close must not free a handle that is no longer ours.
void PhoneLibrary::Close() {
  if (module_ == nullptr) return;
  FreeLibrary(module_);
  module_ = nullptr;
  getter_ = nullptr;
  setter_ = nullptr;
}

void PhoneLibrary::CloseAndFail() {
  Close();
  exit(kBindingFailed);
}
