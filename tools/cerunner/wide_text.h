// Text conversions between the host (UTF-8) and the emulated phone (UTF-16),
// and the quoting that keeps every trace record on one line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "platform/host/trace.h"

namespace cerunner {

// Strict: an invalid UTF-8 sequence gives no result rather than a guess.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Lone surrogates come out as their 3-byte forms, which are not valid UTF-8,
// so QuoteForTrace shows them byte by byte instead of hiding them.
std::string Utf16ToBytes(std::u16string_view text);

// The runner's trace lines are quoted exactly as the host stand-in's.
using kestrum::QuoteForTrace;

// Case-insensitive in the way file names compare on the phone (ASCII letters
// and the Latin-1 and fullwidth letter ranges are folded).
bool SameFileName(std::u16string_view a, std::u16string_view b);

}  // namespace cerunner
