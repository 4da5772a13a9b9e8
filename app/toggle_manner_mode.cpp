#include "app/toggle_manner_mode.h"

#include "phone/phone_library.h"
#include "signals/signals.h"

namespace {

constexpr int32_t kMannerOff = 0;
constexpr int32_t kMannerOn = 1;

const char16_t* LeaveSoundPath(int32_t argc, const char16_t* const* words) {
  return argc >= 2 && words != nullptr ? words[1] : nullptr;
}

}  // namespace

int32_t ToggleMannerMode(int32_t argc, const char16_t* const* words) {
  PhoneLibrary library;
  library.Open();
  const bool was_on = library.ReadMannerMode() != kMannerOff;
  library.ResolveSetter();
  // The mode is written before its confirmation, so the leave sound already
  // plays with manner mode off.
  if (was_on) {
    library.WriteMannerMode(kMannerOff);
    SignalMannerOff(LeaveSoundPath(argc, words));
  } else {
    library.WriteMannerMode(kMannerOn);
    SignalMannerOn();
  }
  library.Close();
  return 0;
}

int32_t KestrumMain(int32_t argc, const char16_t* const* words) {
  return ToggleMannerMode(argc, words);
}
