#include "signals/signals.h"

#include "platform/coredll.h"

namespace {

constexpr UINT kVibratorLed = 1;
constexpr DWORD kLeavePulseOnMs = 100;
constexpr DWORD kLeavePulseOffMs = 150;
constexpr int kLeavePulseCount = 3;
constexpr DWORD kEnterPulseMs = 500;

}  // namespace

void SetVibrator(bool on) {
  NLED_SETTINGS_INFO settings = {kVibratorLed, on ? 1 : 0, 0, 0, 0, 0, 0};
  NLedSetDevice(NLED_SETTINGS_INFO_ID, &settings);
}

// Without SND_NODEFAULT the platform may still sound something for a bad
// file, but only a false result tells us it did not, so only that beeps.
void PlayLeaveSound(const char16_t* path) {
  if (path != nullptr && PlaySoundW(path, nullptr, SND_FILENAME | SND_ASYNC) != 0) return;
  MessageBeep(MB_OK);
}

void SignalMannerOff(const char16_t* path) {
  PlayLeaveSound(path);
  for (int pulse = 0; pulse < kLeavePulseCount; ++pulse) {
    SetVibrator(true);
    Sleep(kLeavePulseOnMs);
    SetVibrator(false);
    Sleep(kLeavePulseOffMs);
  }
}

void SignalMannerOn() {
  SetVibrator(true);
  Sleep(kEnterPulseMs);
  SetVibrator(false);
}
