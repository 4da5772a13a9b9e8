// The user-facing calls: message box, vibrator, sound, beep and waits.
#include <algorithm>

#include "support/coredll_answers.h"
#include "support/file_lookup.h"
#include "tools/cerunner/simulated_libraries.h"
#include "tools/cerunner/wide_text.h"

namespace cerunner {
namespace {

constexpr uint32_t kIdOk = 1;
constexpr uint32_t kInfinite = 0xFFFFFFFF;

std::string QuotedOrNull(const std::optional<std::u16string>& text) {
  return text ? QuoteWideForTrace(*text) : "null";
}

}  // namespace

// A null text or caption is allowed by the platform; anything else must be
// a readable string.
CallResult SimulatedLibraries::MessageBoxW(const Guest& guest) {
  const uint32_t owner = guest.Argument(0).value_or(0);
  std::optional<std::u16string> text;
  std::optional<std::u16string> caption;
  std::string fault;
  if (guest.Argument(1).value_or(0) != 0) {
    text = WideArgument(guest, 1, "text", fault);
    if (!text) return CallResult::Fault("MessageBoxW: " + fault);
  }
  if (guest.Argument(2).value_or(0) != 0) {
    caption = WideArgument(guest, 2, "caption", fault);
    if (!caption) return CallResult::Fault("MessageBoxW: " + fault);
  }
  const uint32_t style = guest.Argument(3).value_or(0);
  Trace(kestrum::MessageBoxLine(owner, QuotedOrNull(text), QuotedOrNull(caption), style));
  return CallResult::Return(kIdOk);
}

// A record the driver could not read stops the run: on the phone the call
// would read stray memory. The driver reads the record's words in place
// (NLedDriverSetDevice of the platform's NLED drivers), and CE's ARM kernel
// enables alignment faults (KernelStart in nk/kernel/arm/armtrap.s sets the
// A bit) and raises them as STATUS_DATATYPE_MISALIGNMENT (mdarm.c), so a
// record off a word boundary faults as well.
CallResult SimulatedLibraries::NLedSetDevice(const Guest& guest) {
  const uint32_t id = guest.Argument(0).value_or(0);
  const uint32_t record = guest.Argument(1).value_or(0);
  NLED_SETTINGS_INFO settings{};
  const bool has_record = id == NLED_SETTINGS_INFO_ID && record != 0;
  if (has_record && (record % 4 != 0 || !guest.Read(record, &settings, sizeof settings))) {
    return CallResult::Fault("NLedSetDevice: settings record at " + Hex32(record) +
                             " is not a readable, aligned NLED_SETTINGS_INFO");
  }
  const NLED_SETTINGS_INFO* given = has_record ? &settings : nullptr;
  Trace(kestrum::NLedSetDeviceLine(id, given));
  return CallResult::Return(static_cast<uint32_t>(kestrum::AnswerNLedSetDevice(id, given)));
}

kestrum::SoundFile SimulatedLibraries::FileKind(std::u16string_view name) const {
  const auto holds = [name](const std::vector<std::u16string>& files) {
    return std::any_of(files.begin(), files.end(), [name](const std::u16string& file) {
      return kestrum::SameFileName(name, file);
    });
  };
  if (holds(setup_.playable_files)) return kestrum::SoundFile::kPlayable;
  if (holds(setup_.not_a_wav_files)) return kestrum::SoundFile::kNotPlayable;
  return kestrum::SoundFile::kAbsent;
}

// The files have no length, so a sound that the caller waits for is over at once.
CallResult SimulatedLibraries::PlaySoundW(const Guest& guest) {
  const uint32_t module = guest.Argument(1).value_or(0);
  const uint32_t flags = guest.Argument(2).value_or(0);
  std::optional<std::u16string> path;
  if (guest.Argument(0).value_or(0) != 0) {
    std::string fault;
    path = WideArgument(guest, 0, "sound path", fault);
    if (!path) return CallResult::Fault("PlaySoundW: " + fault);
  }
  const auto kind_of = [this](std::u16string_view name) { return FileKind(name); };
  const kestrum::SoundFile found =
      path ? kestrum::FindSoundFile(*path, kind_of).kind : kestrum::SoundFile::kAbsent;
  const kestrum::PlaySoundAnswer answer =
      kestrum::AnswerPlaySound(!path, flags, found, setup_.default_sound);
  Trace(kestrum::PlaySoundLine(QuotedOrNull(path), flags, module, answer));
  return CallResult::Return(static_cast<uint32_t>(answer.result));
}

CallResult SimulatedLibraries::MessageBeep(const Guest& guest) {
  Trace(kestrum::MessageBeepLine(guest.Argument(0).value_or(0)));
  return CallResult::Return(kestrum::kMessageBeepAnswer);
}

CallResult SimulatedLibraries::Sleep(const Guest& guest) {
  const uint32_t ms = guest.Argument(0).value_or(0);
  if (ms == kInfinite) return CallResult::Fault("Sleep(INFINITE) never returns");
  Trace(kestrum::SleepLine(ms));
  clock_ms_ += ms;
  return CallResult::Return(0);
}

}  // namespace cerunner
