// The user-facing calls: message box, vibrator, sound, beep and waits.
#include "tools/cerunner/simulated_libraries.h"
#include "tools/cerunner/wide_text.h"

namespace cerunner {
namespace {

constexpr uint32_t kIdOk = 1;
constexpr uint32_t kLedCount = 2;  // LED 0 notification, LED 1 vibrator
constexpr uint32_t kSndFilename = 0x00020000;
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
  TraceLine line("MessageBoxW");
  line.Field("style", Hex32(style)).Field("caption", QuotedOrNull(caption));
  line.Field("text", QuotedOrNull(text));
  if (owner != 0) line.Field("owner", Hex32(owner));
  Trace(line);
  return CallResult::Return(kIdOk);
}

CallResult SimulatedLibraries::NLedSetDevice(const Guest& guest) {
  const uint32_t id = guest.Argument(0).value_or(0);
  const uint32_t record = guest.Argument(1).value_or(0);
  if (id != NLED_SETTINGS_INFO_ID) {
    Trace(TraceLine("NLedSetDevice").Field("id", id).Result(0));
    return CallResult::Return(0);
  }
  NLED_SETTINGS_INFO settings{};
  if (record % 4 != 0 || !guest.Read(record, &settings, sizeof settings)) {
    return CallResult::Fault("NLedSetDevice: settings record at " + Hex32(record) +
                             " is not a readable, aligned NLED_SETTINGS_INFO");
  }
  Trace(kestrum::VibratorSettingsLine(id, settings));
  return CallResult::Return(settings.LedNum < kLedCount ? 1 : 0);
}

// Only the simulated file list decides whether a file plays; a null path
// stops any sound and succeeds, as on the phone.
CallResult SimulatedLibraries::PlaySoundW(const Guest& guest) {
  const uint32_t module = guest.Argument(1).value_or(0);
  const uint32_t flags = guest.Argument(2).value_or(0);
  std::optional<std::u16string> path;
  if (guest.Argument(0).value_or(0) != 0) {
    std::string fault;
    path = WideArgument(guest, 0, "sound path", fault);
    if (!path) return CallResult::Fault("PlaySoundW: " + fault);
  }
  bool played = !path.has_value();
  for (const std::u16string& file : setup_.playable_files) {
    if (path && (flags & kSndFilename) != 0 && SameFileName(*path, file)) played = true;
  }
  TraceLine line("PlaySoundW");
  line.Field("path", QuotedOrNull(path)).Field("flags", Hex32(flags));
  if (module != 0) line.Field("module", Hex32(module));
  Trace(line.Result(played ? 1 : 0));
  return CallResult::Return(played ? 1 : 0);
}

CallResult SimulatedLibraries::MessageBeep(const Guest& guest) {
  Trace(TraceLine("MessageBeep").Field("type", Hex32(guest.Argument(0).value_or(0))));
  return CallResult::Return(1);
}

CallResult SimulatedLibraries::Sleep(const Guest& guest) {
  const uint32_t ms = guest.Argument(0).value_or(0);
  if (ms == kInfinite) return CallResult::Fault("Sleep(INFINITE) never returns");
  Trace(TraceLine("Sleep").Field("ms", ms));
  clock_ms_ += ms;
  return CallResult::Return(0);
}

}  // namespace cerunner
