// The one shape of a traced platform call, shared by the host stand-ins, the
// emulated phone and the recording platform of the unit tests:
//   @<ms> <Call> key=value ... [-> result]
// Each line is one line: text is quoted so that nothing in it can break one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/coredll.h"
#include "support/coredll_answers.h"

namespace kestrum {

// The bytes in double quotes; '"' and '\\' escaped, and \xNN for control
// bytes, DEL and every byte that is not part of valid UTF-8.
std::string QuoteForTrace(std::string_view bytes);
// UTF-16 that came from host bytes (see utf16_codec.h) shows those bytes.
std::string QuoteForTrace(std::u16string_view text);

std::string Hex32(uint32_t value);

class TraceLine {
 public:
  explicit TraceLine(std::string_view call);
  TraceLine& Field(std::string_view key, std::string_view value);
  TraceLine& Field(std::string_view key, int64_t value);
  TraceLine& Result(std::string_view result);
  TraceLine& Result(int64_t result);
  // The whole line, without its newline, as made at virtual or real time ms.
  std::string At(int64_t ms) const;

 private:
  std::string call_;
  std::string rest_;
};

// One builder per call that two or more of the three trace. Text comes quoted
// by the caller, which knows where it came from (host text by QuotedOrNull);
// an empty name is an ordinal. A handle shows, as its low 32 bits (a phone
// handle's width), only where the program gave one it should not have: a
// module not loaded (by LoadLibraryW, not freed since), an owner window.
inline std::string QuotedOrNull(const char16_t* text) {
  return text != nullptr ? QuoteForTrace(std::u16string_view(text)) : "null";
}
inline TraceLine LoadLibraryLine(std::string_view quoted_name, bool loaded) {
  return TraceLine("LoadLibraryW").Field("name", quoted_name).Result(loaded ? "ok" : "null");
}
TraceLine GetProcAddressLine(std::string_view quoted_name, uint32_t ordinal, uintptr_t module,
                             bool loaded, bool found);
TraceLine FreeLibraryLine(uintptr_t module, bool loaded, BOOL freed);
TraceLine MessageBoxLine(uintptr_t owner, std::string_view quoted_text,
                         std::string_view quoted_caption, UINT style);
inline TraceLine MessageBeepLine(UINT type) {
  return TraceLine("MessageBeep").Field("type", Hex32(type));
}
inline TraceLine SleepLine(DWORD ms) { return TraceLine("Sleep").Field("ms", ms); }
inline TraceLine GetMannerModeLine(int32_t mode) { return TraceLine("GetMannerMode").Result(mode); }
inline TraceLine SetMannerModeLine(int32_t value) {
  return TraceLine("SetMannerMode").Field("value", value);
}
inline TraceLine ExitLine(int32_t status) { return TraceLine("exit").Field("status", status); }

// NLedSetDevice: with a settings record, the state by name where it has one
// and only the timing fields that are set; for another id, only the id.
TraceLine NLedSetDeviceLine(UINT id, const NLED_SETTINGS_INFO* settings);

// PlaySoundW with the answer it gave; a module shows, as a handle above, only
// when given, and a default sound that stood in for the file is named. A host
// that cannot play a sound the phone plays names why as host_failure (empty
// when it can).
TraceLine PlaySoundLine(std::string_view quoted_path, DWORD flags, uintptr_t module,
                        const PlaySoundAnswer& answer, std::string_view host_failure = {});

}  // namespace kestrum
