// The user-facing calls: message box, vibrator, sound, beep and waits.
#include "tools/cerunner/coredll.h"
#include "tools/cerunner/wide_text.h"

namespace cerunner {
namespace {

constexpr uint32_t kIdOk = 1;
constexpr uint32_t kSettingsInfoId = 2;
constexpr uint32_t kLedCount = 2;  // LED 0 notification, LED 1 vibrator
constexpr uint32_t kSndFilename = 0x00020000;
constexpr uint32_t kInfinite = 0xFFFFFFFF;

std::string QuotedOrNull(const std::optional<std::u16string>& text) {
  return text ? QuoteForTrace(Utf16ToBytes(*text)) : "null";
}

std::string LedState(int32_t off_on_blink) {
  if (off_on_blink == 0) return "off";
  if (off_on_blink == 1) return "on";
  if (off_on_blink == 2) return "blink";
  return std::to_string(off_on_blink);
}

std::string NonZeroField(const char* key, int32_t value) {
  return value == 0 ? "" : std::string(" ") + key + "=" + std::to_string(value);
}

}  // namespace

// A null text or caption is allowed by the platform; anything else must be
// a readable string.
CallResult SimulatedCoredll::MessageBoxW(const Guest& guest) {
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
  Trace("MessageBoxW style=" + Hex32(style) + " caption=" + QuotedOrNull(caption) +
        " text=" + QuotedOrNull(text) + (owner != 0 ? " owner=" + Hex32(owner) : ""));
  return CallResult::Return(kIdOk);
}

CallResult SimulatedCoredll::NLedSetDevice(const Guest& guest) {
  const uint32_t id = guest.Argument(0).value_or(0);
  const uint32_t record = guest.Argument(1).value_or(0);
  if (id != kSettingsInfoId) {
    Trace("NLedSetDevice id=" + std::to_string(id) + " -> 0");
    return CallResult::Return(0);
  }
  int32_t fields[7] = {};
  if (record % 4 != 0 || !guest.Read(record, fields, sizeof fields)) {
    return CallResult::Fault("NLedSetDevice: settings record at " + Hex32(record) +
                             " is not a readable, aligned NLED_SETTINGS_INFO");
  }
  const auto led = static_cast<uint32_t>(fields[0]);
  Trace("NLedSetDevice id=2 led=" + std::to_string(led) + " state=" + LedState(fields[1]) +
        NonZeroField("total_cycle_time", fields[2]) + NonZeroField("on_time", fields[3]) +
        NonZeroField("off_time", fields[4]) + NonZeroField("meta_cycle_on", fields[5]) +
        NonZeroField("meta_cycle_off", fields[6]));
  return CallResult::Return(led < kLedCount ? 1 : 0);
}

// Only the simulated file list decides whether a file plays; a null path
// stops any sound and succeeds, as on the phone.
CallResult SimulatedCoredll::PlaySoundW(const Guest& guest) {
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
  Trace("PlaySoundW path=" + QuotedOrNull(path) + " flags=" + Hex32(flags) +
        (module != 0 ? " module=" + Hex32(module) : "") + (played ? " -> 1" : " -> 0"));
  return CallResult::Return(played ? 1 : 0);
}

CallResult SimulatedCoredll::MessageBeep(const Guest& guest) {
  Trace("MessageBeep type=" + Hex32(guest.Argument(0).value_or(0)));
  return CallResult::Return(1);
}

CallResult SimulatedCoredll::Sleep(const Guest& guest) {
  const uint32_t ms = guest.Argument(0).value_or(0);
  if (ms == kInfinite) return CallResult::Fault("Sleep(INFINITE) never returns");
  Trace("Sleep ms=" + std::to_string(ms));
  clock_ms_ += ms;
  return CallResult::Return(0);
}

}  // namespace cerunner
