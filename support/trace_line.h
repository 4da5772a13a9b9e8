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

// NLedSetDevice: with a settings record, the state by name where it has one
// and only the timing fields that are set; for another id, only the id.
TraceLine NLedSetDeviceLine(UINT id, const NLED_SETTINGS_INFO* settings);

// PlaySoundW with the answer it gave; module is left out when empty, and a
// default sound that stood in for the file is named.
TraceLine PlaySoundLine(std::string_view quoted_path, DWORD flags, std::string_view module,
                        const PlaySoundAnswer& answer);

}  // namespace kestrum
