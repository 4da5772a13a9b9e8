// Byte strings (argv words, paths) and the program's UTF-16 text. Valid UTF-8
// decodes as such; every byte of an invalid sequence becomes the lone
// surrogate U+DC80+byte, which valid UTF-8 never yields, so any byte string
// survives the round trip unchanged.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kestrum {

struct DecodedCodePoint {
  char32_t value;
  std::size_t length;
};

// The strict UTF-8 sequence at bytes[at], or none when it is invalid
// (overlong, surrogate, beyond U+10FFFF, cut short).
std::optional<DecodedCodePoint> DecodeUtf8At(std::string_view bytes, std::size_t at);

std::u16string BytesToUtf16(std::string_view bytes);

// The exact bytes BytesToUtf16 came from; none for a lone surrogate it
// cannot have produced, so such a path is refused rather than altered.
std::optional<std::string> Utf16ToBytes(std::u16string_view text);

// For display: lone surrogates become U+FFFD, so the result is valid UTF-8.
std::string Utf16ToDisplayUtf8(std::u16string_view text);

// For the trace of host text: like Utf16ToBytes, but a lone surrogate that
// no byte maps to is written as its three-byte form, which the trace escapes.
std::string Utf16ToBytesKeepingLoneSurrogates(std::u16string_view text);

// Text that never came from bytes: every lone surrogate, U+DC80..U+DCFF
// included, is written as its three-byte form (not valid UTF-8).
std::string Utf16ToGeneralizedUtf8(std::u16string_view text);

// The null-terminated UTF-16 string at text; empty for null.
std::u16string_view Utf16View(const char16_t* text);

}  // namespace kestrum
