#include "support/coredll_answers.h"

namespace kestrum {
namespace {

constexpr int32_t kLedOff = 0;
constexpr int32_t kLedBlink = 2;
constexpr std::size_t kMaxPath = 260;  // MAX_PATH, the terminator included

bool BlinkTimesAddUp(const NLED_SETTINGS_INFO& settings) {
  return settings.TotalCycleTime >= 0 && settings.OnTime >= 0 && settings.OffTime >= 0 &&
         settings.MetaCycleOn >= 0 && settings.MetaCycleOff >= 0 &&
         int64_t{settings.OnTime} + settings.OffTime <= settings.TotalCycleTime;
}

}  // namespace

PlaySoundAnswer AnswerPlaySound(bool stop, DWORD flags, SoundFile found, bool has_default_sound) {
  if (stop) return {1, SoundPlayed::kNothing};
  if ((flags & kSndAlias) != 0 && (flags & SND_FILENAME) == 0) found = SoundFile::kAbsent;
  if (found == SoundFile::kPlayable) return {1, SoundPlayed::kFile};
  const bool falls_back = found == SoundFile::kAbsent && (flags & kSndNoDefault) == 0;
  if (falls_back && has_default_sound) return {1, SoundPlayed::kDefaultSound};
  return {0, SoundPlayed::kNothing};
}

FoundSound FindSoundFile(std::u16string_view name,
                         const std::function<SoundFile(std::u16string_view)>& kind_of) {
  const std::u16string as_given(name);
  for (const std::u16string& candidate : {as_given, as_given + u".wav", u"\\Windows\\" + as_given,
                                          u"\\Windows\\" + as_given + u".wav"}) {
    if (candidate.size() >= kMaxPath) continue;
    const SoundFile kind = kind_of(candidate);
    if (kind != SoundFile::kAbsent) return {kind, candidate};
  }
  return {};
}

BOOL AnswerNLedSetDevice(UINT id, const NLED_SETTINGS_INFO* settings) {
  if (id != NLED_SETTINGS_INFO_ID || settings == nullptr) return 0;
  if (settings->LedNum >= kPhoneLedCount) return 0;
  if (settings->OffOnBlink < kLedOff || settings->OffOnBlink > kLedBlink) return 0;
  return settings->OffOnBlink != kLedBlink || BlinkTimesAddUp(*settings) ? 1 : 0;
}

BOOL AnswerFreeLibrary(bool module_held) { return module_held ? 1 : 0; }

}  // namespace kestrum
