// Text that reaches the trace or the state file: any bytes must quote to one
// line that reads back to the same bytes, from bytes and from UTF-16 alike,
// and the runner's strict decoding and the state file's number parsing must
// accept only what they should.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <optional>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/host/shphonelib/manner_state.h"
#include "platform/host/trace.h"
#include "support/utf16_codec.h"
#include "tools/cerunner/wide_text.h"

namespace {

int HexValue(char digit) {
  if (digit >= '0' && digit <= '9') return digit - '0';
  if (digit >= 'a' && digit <= 'f') return digit - 'a' + 10;
  if (digit >= 'A' && digit <= 'F') return digit - 'A' + 10;
  return -1;
}

// The bytes a quoted trace value stands for; none if it is malformed.
std::optional<std::string> Unquote(std::string_view quoted) {
  if (quoted.size() < 2 || quoted.front() != '"' || quoted.back() != '"') return std::nullopt;
  quoted = quoted.substr(1, quoted.size() - 2);
  std::string bytes;
  for (std::size_t at = 0; at < quoted.size(); ++at) {
    const char c = quoted[at];
    if (c == '"') return std::nullopt;
    if (c != '\\') {
      bytes += c;
    } else if (at + 1 < quoted.size() && (quoted[at + 1] == '"' || quoted[at + 1] == '\\')) {
      bytes += quoted[++at];
    } else if (at + 3 < quoted.size() && quoted[at + 1] == 'x' && HexValue(quoted[at + 2]) >= 0 &&
               HexValue(quoted[at + 3]) >= 0) {
      bytes += static_cast<char>(HexValue(quoted[at + 2]) * 16 + HexValue(quoted[at + 3]));
      at += 3;
    } else {
      return std::nullopt;
    }
  }
  return bytes;
}

// Unicode's table of well-formed UTF-8 byte sequences (Table 3-7), apart
// from the codec it judges: per lead byte range, the length and the range
// of the second byte; every further byte is 80..BF.
bool IsValidUtf8(std::string_view bytes) {
  struct Row {
    int lead_low, lead_high, second_low, second_high;
    std::size_t length;
  };
  static constexpr Row kRows[] = {
      {0x00, 0x7F, 0, 0, 1},       {0xC2, 0xDF, 0x80, 0xBF, 2}, {0xE0, 0xE0, 0xA0, 0xBF, 3},
      {0xE1, 0xEC, 0x80, 0xBF, 3}, {0xED, 0xED, 0x80, 0x9F, 3}, {0xEE, 0xEF, 0x80, 0xBF, 3},
      {0xF0, 0xF0, 0x90, 0xBF, 4}, {0xF1, 0xF3, 0x80, 0xBF, 4}, {0xF4, 0xF4, 0x80, 0x8F, 4}};
  for (std::size_t at = 0; at < bytes.size();) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(bytes[at + k]); };
    const Row* row = std::find_if(std::begin(kRows), std::end(kRows), [&](const Row& r) {
      return byte(0) >= r.lead_low && byte(0) <= r.lead_high;
    });
    if (row == std::end(kRows) || bytes.size() - at < row->length) return false;
    for (std::size_t k = 1; k < row->length; ++k) {
      const int low = k == 1 ? row->second_low : 0x80;
      const int high = k == 1 ? row->second_high : 0xBF;
      if (byte(k) < low || byte(k) > high) return false;
    }
    at += row->length;
  }
  return true;
}

// One line, printable, valid UTF-8, and the bytes come back.
void CheckQuoted(const std::string& quoted, std::string_view bytes) {
  for (const char c : quoted) {
    const auto byte = static_cast<unsigned char>(c);
    FUZZ_CHECK(byte >= 0x20 && byte != 0x7F);
  }
  FUZZ_CHECK(IsValidUtf8(quoted));
  const std::optional<std::string> back = Unquote(quoted);
  FUZZ_CHECK(back && *back == bytes);
}

void CheckMannerMode(std::string_view content) {
  const std::optional<int32_t> value = kestrum::ParseMannerMode(content);
  if (!value) return;
  if (content.back() == '\n') content.remove_suffix(1);
  FUZZ_CHECK(!content.empty());
  for (std::size_t i = 0; i < content.size(); ++i) {
    FUZZ_CHECK((content[i] >= '0' && content[i] <= '9') || (i == 0 && content[i] == '-'));
  }
  const std::string written = std::to_string(*value);
  FUZZ_CHECK(kestrum::ParseMannerMode(written) == value);
  FUZZ_CHECK(kestrum::ParseMannerMode(written + "\n") == value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string host = kestrum::QuoteForTrace(bytes);
  CheckQuoted(host, bytes);

  const std::u16string text = kestrum::BytesToUtf16(bytes);
  FUZZ_CHECK(kestrum::QuoteForTrace(text) == host);

  const std::optional<std::u16string> strict = cerunner::Utf8ToUtf16(bytes);
  FUZZ_CHECK(strict.has_value() == IsValidUtf8(bytes));
  if (strict) FUZZ_CHECK(*strict == text);

  CheckMannerMode(bytes);
  return 0;
}
