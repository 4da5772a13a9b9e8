// NLedSetDevice: LED 1 is the vibrator. There is no motor here, so every
// setting becomes a trace line, which is what tests and users watch.
#include "platform/coredll.h"
#include "platform/host/trace.h"
#include "support/coredll_answers.h"

extern "C" BOOL NLedSetDevice(UINT nDeviceId, void* pInput) {
  const auto* settings = static_cast<const NLED_SETTINGS_INFO*>(pInput);
  kestrum::WriteTrace(kestrum::NLedSetDeviceLine(nDeviceId, settings));
  return kestrum::AnswerNLedSetDevice(nDeviceId, settings);
}
