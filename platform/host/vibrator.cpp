// NLedSetDevice: LED 1 is the vibrator. There is no motor here, so every
// setting becomes a trace line, which is what tests and users watch.
#include "platform/coredll.h"
#include "platform/host/trace.h"

namespace {

constexpr UINT kVibratorLed = 1;

const char* StateName(int32_t off_on_blink) {
  switch (off_on_blink) {
    case 0:
      return "off";
    case 1:
      return "on";
    case 2:
      return "blink";
    default:
      return nullptr;
  }
}

void AddIfSet(kestrum::TraceLine& line, const char* key, int32_t value) {
  if (value != 0) line.Field(key, value);
}

BOOL TraceSettings(const NLED_SETTINGS_INFO& settings) {
  kestrum::TraceLine line("NLedSetDevice");
  line.Field("id", NLED_SETTINGS_INFO_ID).Field("led", settings.LedNum);
  const char* state = StateName(settings.OffOnBlink);
  if (state != nullptr) {
    line.Field("state", state);
  } else {
    line.Field("state", settings.OffOnBlink);
  }
  AddIfSet(line, "total_cycle_time", settings.TotalCycleTime);
  AddIfSet(line, "on_time", settings.OnTime);
  AddIfSet(line, "off_time", settings.OffTime);
  AddIfSet(line, "meta_cycle_on", settings.MetaCycleOn);
  AddIfSet(line, "meta_cycle_off", settings.MetaCycleOff);
  line.Write();
  return settings.LedNum == kVibratorLed && state != nullptr ? 1 : 0;
}

}  // namespace

extern "C" BOOL NLedSetDevice(UINT nDeviceId, void* pInput) {
  if (nDeviceId != NLED_SETTINGS_INFO_ID || pInput == nullptr) {
    kestrum::TraceLine line("NLedSetDevice");
    line.Field("id", nDeviceId);
    if (pInput == nullptr) line.Field("record", "null");
    line.Write();
    return 0;
  }
  return TraceSettings(*static_cast<const NLED_SETTINGS_INFO*>(pInput));
}
