// Text conversions between the host (UTF-8) and the emulated phone (UTF-16).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace cerunner {

// Strict: an invalid UTF-8 sequence gives no result rather than a guess.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8);

// The phone's text in a trace field. Its strings never carried escaped host
// bytes, so every lone surrogate shows as its three-byte form, byte by byte.
std::string QuoteWideForTrace(std::u16string_view text);

}  // namespace cerunner
