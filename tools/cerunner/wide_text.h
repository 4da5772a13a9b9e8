// Text conversions between the host (UTF-8) and the emulated phone (UTF-16),
// and the quoting that keeps every trace record on one line.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cerunner {

// Strict: an invalid UTF-8 sequence gives no result rather than a guess.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// Lone surrogates come out as their 3-byte forms, which are not valid UTF-8,
// so QuoteForTrace shows them byte by byte instead of hiding them.
std::string Utf16ToBytes(std::u16string_view text);

// Double-quoted, with \" \\ and \xNN for control bytes, DEL and bytes that
// are not part of a valid UTF-8 sequence.
std::string QuoteForTrace(std::string_view bytes);

// Case-insensitive in the way file names compare on the phone (ASCII letters
// and the Latin-1 and fullwidth letter ranges are folded).
bool SameFileName(std::u16string_view a, std::u16string_view b);

}  // namespace cerunner
