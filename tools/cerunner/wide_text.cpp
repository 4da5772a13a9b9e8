#include "tools/cerunner/wide_text.h"

#include "support/trace_line.h"
#include "support/utf16_codec.h"

namespace cerunner {

// For valid UTF-8 the host's lossless decoding is the plain one.
std::optional<std::u16string> Utf8ToUtf16(std::string_view utf8) {
  for (size_t at = 0; at < utf8.size();) {
    const auto decoded = kestrum::DecodeUtf8At(utf8, at);
    if (!decoded) return std::nullopt;
    at += decoded->length;
  }
  return kestrum::BytesToUtf16(utf8);
}

std::string QuoteWideForTrace(std::u16string_view text) {
  return kestrum::QuoteForTrace(kestrum::Utf16ToGeneralizedUtf8(text));
}

}  // namespace cerunner
