#include "platform/host/trace.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/host/trace_clock_hook.h"
#include "platform/host/utf16_codec.h"

namespace kestrum {
namespace {

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t clock_origin_ns = 0;

bool NeedsEscape(unsigned char byte) { return byte < 0x20 || byte == 0x7F; }

constexpr char kHexDigits[] = "0123456789abcdef";

void AppendHexDigits(std::string& out, uint32_t value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    out += kHexDigits[(value >> shift) & 0xF];
}

void AppendHexEscape(std::string& out, unsigned char byte) {
  out += "\\x";
  AppendHexDigits(out, byte, 2);
}

}  // namespace

void StartTraceClock() { clock_origin_ns = MonotonicNanoseconds(); }

int64_t OwnClockMilliseconds() {
  if (clock_origin_ns == 0) StartTraceClock();
  return (MonotonicNanoseconds() - clock_origin_ns) / 1000000;
}

int64_t TraceMilliseconds() {
  // In the stand-in phone library the program's clock is the one that counts.
  if (KestrumTraceClockMs != nullptr) return KestrumTraceClockMs();
  return OwnClockMilliseconds();
}

std::string QuoteForTrace(std::string_view bytes) {
  std::string out = "\"";
  std::size_t at = 0;
  while (at < bytes.size()) {
    const auto byte = static_cast<unsigned char>(bytes[at]);
    const auto decoded = DecodeUtf8At(bytes, at);
    if (!decoded || NeedsEscape(byte)) {
      AppendHexEscape(out, byte);
      ++at;
      continue;
    }
    if (byte == '"' || byte == '\\') out += '\\';
    out.append(bytes.substr(at, decoded->length));
    at += decoded->length;
  }
  return out + "\"";
}

std::string QuoteForTrace(std::u16string_view text) {
  return QuoteForTrace(Utf16ToTraceBytes(text));
}

std::string Hex32(uint32_t value) {
  std::string out = "0x";
  AppendHexDigits(out, value, 8);
  return out;
}

TraceLine::TraceLine(std::string_view call) : call_(call) {}

TraceLine& TraceLine::Field(std::string_view key, std::string_view value) {
  rest_.append(" ").append(key).append("=").append(value);
  return *this;
}

TraceLine& TraceLine::Field(std::string_view key, int64_t value) {
  return Field(key, std::to_string(value));
}

TraceLine& TraceLine::Result(std::string_view result) {
  rest_.append(" -> ").append(result);
  return *this;
}

TraceLine& TraceLine::Result(int64_t result) { return Result(std::to_string(result)); }

std::string TraceLine::Text() const {
  return '@' + std::to_string(TraceMilliseconds()) + " " + call_ + rest_ + "\n";
}

void TraceLine::Write() const { WriteToStderr(Text()); }

void WriteToStderr(std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(STDERR_FILENO, &text[done], text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

}  // namespace kestrum
