#include "tools/cerunner/wide_text.h"

#include "support/trace_line.h"
#include "support/utf16_codec.h"

namespace cerunner {
namespace {

char16_t FoldCase(char16_t c) {
  if (c >= u'a' && c <= u'z') return static_cast<char16_t>(c - 0x20);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return static_cast<char16_t>(c - 0x20);
  if (c >= 0xFF41 && c <= 0xFF5A) return static_cast<char16_t>(c - 0x20);
  return c;
}

}  // namespace

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

bool SameFileName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return true;
}

}  // namespace cerunner
