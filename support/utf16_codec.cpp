#include "support/utf16_codec.h"

namespace kestrum {
namespace {

constexpr char32_t kEscapeBase = 0xDC00;
constexpr char32_t kReplacement = 0xFFFD;

// What becomes of a lone surrogate. Replaced: U+FFFD, escaped bytes too.
// Refused or kept unless an escaped byte: an escaped byte is its byte again,
// any other is refused or kept in its three-byte form. Kept even for escaped
// bytes: every one in its three-byte form, for text that never came from
// bytes.
enum class LoneSurrogate { kRefuse, kReplace, kKeepUnlessEscapedByte, kKeepEvenEscapedBytes };

bool IsContinuation(unsigned char byte) { return (byte & 0xC0) == 0x80; }
bool IsHighSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool IsLowSurrogate(char32_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }
bool IsEscapedByte(char32_t unit) { return unit >= 0xDC80 && unit <= 0xDCFF; }

std::size_t SequenceLength(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

char32_t LeadBits(unsigned char lead, std::size_t length) {
  static constexpr unsigned char kMasks[] = {0, 0x7F, 0x1F, 0x0F, 0x07};
  return lead & kMasks[length];
}

bool IsShortestForm(char32_t value, std::size_t length) {
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  return value >= kMinimum[length];
}

void AppendUtf16(std::u16string& out, char32_t value) {
  if (value < 0x10000) {
    out += static_cast<char16_t>(value);
    return;
  }
  value -= 0x10000;
  out += static_cast<char16_t>(0xD800 + (value >> 10));
  out += static_cast<char16_t>(0xDC00 + (value & 0x3FF));
}

void AppendUtf8(std::string& out, char32_t value) {
  if (value < 0x80) {
    out += static_cast<char>(value);
  } else if (value < 0x800) {
    out += static_cast<char>(0xC0 | (value >> 6));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else if (value < 0x10000) {
    out += static_cast<char>(0xE0 | (value >> 12));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (value >> 18));
    out += static_cast<char>(0x80 | ((value >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((value >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (value & 0x3F));
  }
}

// False only when a lone surrogate is met under kRefuse.
bool AppendLoneSurrogate(std::string& out, char32_t unit, LoneSurrogate policy) {
  if (policy == LoneSurrogate::kReplace) {
    AppendUtf8(out, kReplacement);
  } else if (policy != LoneSurrogate::kKeepEvenEscapedBytes && IsEscapedByte(unit)) {
    out += static_cast<char>(unit - kEscapeBase);
  } else if (policy == LoneSurrogate::kRefuse) {
    return false;
  } else {
    AppendUtf8(out, unit);
  }
  return true;
}

std::optional<std::string> Encode(std::u16string_view text, LoneSurrogate policy) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char32_t unit = text[i];
    if (IsHighSurrogate(unit) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
      const char32_t low = text[++i];
      AppendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
    } else if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
      if (!AppendLoneSurrogate(out, unit, policy)) return std::nullopt;
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

}  // namespace

std::optional<DecodedCodePoint> DecodeUtf8At(std::string_view bytes, std::size_t at) {
  const auto lead = static_cast<unsigned char>(bytes[at]);
  const std::size_t length = SequenceLength(lead);
  if (length == 0 || at + length > bytes.size()) return std::nullopt;
  char32_t value = LeadBits(lead, length);
  for (std::size_t k = 1; k < length; ++k) {
    const auto next = static_cast<unsigned char>(bytes[at + k]);
    if (!IsContinuation(next)) return std::nullopt;
    value = (value << 6) | (next & 0x3F);
  }
  if (!IsShortestForm(value, length) || value > 0x10FFFF) return std::nullopt;
  if (value >= 0xD800 && value <= 0xDFFF) return std::nullopt;
  return DecodedCodePoint{value, length};
}

std::u16string BytesToUtf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  std::size_t at = 0;
  while (at < bytes.size()) {
    if (const auto decoded = DecodeUtf8At(bytes, at)) {
      AppendUtf16(out, decoded->value);
      at += decoded->length;
    } else {
      out += static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[at]));
      ++at;
    }
  }
  return out;
}

std::optional<std::string> Utf16ToBytes(std::u16string_view text) {
  return Encode(text, LoneSurrogate::kRefuse);
}

std::string Utf16ToDisplayUtf8(std::u16string_view text) {
  return *Encode(text, LoneSurrogate::kReplace);
}

std::string Utf16ToBytesKeepingLoneSurrogates(std::u16string_view text) {
  return *Encode(text, LoneSurrogate::kKeepUnlessEscapedByte);
}

std::string Utf16ToGeneralizedUtf8(std::u16string_view text) {
  return *Encode(text, LoneSurrogate::kKeepEvenEscapedBytes);
}

std::u16string_view Utf16View(const char16_t* text) {
  return text == nullptr ? std::u16string_view() : std::u16string_view(text);
}

}  // namespace kestrum
