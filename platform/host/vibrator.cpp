// NLedSetDevice: LED 1 is the vibrator. There is no motor here, so every
// setting becomes a trace line, which is what tests and users watch.
#include "platform/coredll.h"
#include "platform/host/trace.h"

namespace {

constexpr UINT kVibratorLed = 1;

}  // namespace

extern "C" BOOL NLedSetDevice(UINT nDeviceId, void* pInput) {
  if (nDeviceId != NLED_SETTINGS_INFO_ID || pInput == nullptr) {
    kestrum::TraceLine line("NLedSetDevice");
    line.Field("id", nDeviceId);
    if (pInput == nullptr) line.Field("record", "null");
    kestrum::WriteTrace(line);
    return 0;
  }
  const auto& settings = *static_cast<const NLED_SETTINGS_INFO*>(pInput);
  kestrum::WriteTrace(kestrum::VibratorSettingsLine(nDeviceId, settings));
  const bool known_state = kestrum::LedStateName(settings.OffOnBlink) != nullptr;
  return settings.LedNum == kVibratorLed && known_state ? 1 : 0;
}
