// The host's argument text: any byte string must come back byte for byte
// from its UTF-16 form, and well-formed text must keep its meaning both ways.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "support/utf16_codec.h"

namespace {

bool IsSurrogate(char32_t unit) { return unit >= 0xD800 && unit <= 0xDFFF; }

struct Lead {
  std::size_t length;  // 0: no sequence starts with this byte
  char32_t bits;
};

Lead ReadLead(unsigned char lead) {
  if (lead < 0x80) return {1, lead};
  if ((lead & 0xE0) == 0xC0) return {2, lead & 0x1Fu};
  if ((lead & 0xF0) == 0xE0) return {3, lead & 0x0Fu};
  if ((lead & 0xF8) == 0xF0) return {4, lead & 0x07u};
  return {0, 0};
}

// Kept apart from the codec's own decoder so that the two can disagree.
std::size_t ValidSequenceLength(std::string_view bytes, std::size_t at) {
  const Lead lead = ReadLead(static_cast<unsigned char>(bytes[at]));
  if (lead.length == 0 || at + lead.length > bytes.size()) return 0;
  char32_t value = lead.bits;
  for (std::size_t k = 1; k < lead.length; ++k) {
    const auto next = static_cast<unsigned char>(bytes[at + k]);
    if ((next & 0xC0) != 0x80) return 0;
    value = value << 6 | (next & 0x3Fu);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kMinimum[lead.length] || value > 0x10FFFF || IsSurrogate(value)) return 0;
  return lead.length;
}

bool IsValidUtf8(std::string_view bytes) {
  for (std::size_t at = 0; at < bytes.size();) {
    const std::size_t length = ValidSequenceLength(bytes, at);
    if (length == 0) return false;
    at += length;
  }
  return true;
}

// Surrogates only in high-low pairs.
bool IsWellFormed(std::u16string_view text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      ++i;
    } else if (IsSurrogate(unit)) {
      return false;
    }
  }
  return true;
}

void CheckBytes(std::string_view bytes) {
  const std::u16string text = kestrum::BytesToUtf16(bytes);
  const std::optional<std::string> back = kestrum::Utf16ToBytes(text);
  FUZZ_CHECK(back && *back == bytes);
  FUZZ_CHECK(kestrum::Utf16ToBytesKeepingLoneSurrogates(text) == bytes);
  FUZZ_CHECK(IsValidUtf8(kestrum::Utf16ToDisplayUtf8(text)));
  if (IsValidUtf8(bytes)) {
    FUZZ_CHECK(IsWellFormed(text));
    FUZZ_CHECK(kestrum::Utf16ToDisplayUtf8(text) == bytes);
  }
}

void CheckText(std::u16string_view text) {
  FUZZ_CHECK(IsValidUtf8(kestrum::Utf16ToDisplayUtf8(text)));
  const std::optional<std::string> bytes = kestrum::Utf16ToBytes(text);
  if (!IsWellFormed(text)) return;
  FUZZ_CHECK(bytes && IsValidUtf8(*bytes));
  FUZZ_CHECK(kestrum::BytesToUtf16(*bytes) == text);
  FUZZ_CHECK(kestrum::Utf16ToDisplayUtf8(text) == *bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  CheckBytes(std::string_view(reinterpret_cast<const char*>(data), size));
  std::u16string text(size / 2, u'\0');
  std::memcpy(text.data(), data, text.size() * 2);
  CheckText(text);
  return 0;
}
