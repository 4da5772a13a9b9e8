#include "support/trace_line.h"

#include "support/utf16_codec.h"

namespace kestrum {
namespace {

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

void AddIfSet(TraceLine& line, std::string_view key, int32_t value) {
  if (value != 0) line.Field(key, value);
}

const char* LedStateName(int32_t off_on_blink) {
  constexpr const char* kNames[] = {"off", "on", "blink"};
  return off_on_blink >= 0 && off_on_blink <= 2 ? kNames[off_on_blink] : nullptr;
}

TraceLine WithHandleIf(bool shown, TraceLine line, std::string_view key, uintptr_t handle) {
  if (shown) line.Field(key, Hex32(static_cast<uint32_t>(handle)));
  return line;
}

}  // namespace

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
  return QuoteForTrace(Utf16ToBytesKeepingLoneSurrogates(text));
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

std::string TraceLine::At(int64_t ms) const {
  std::string line = "@";
  line.append(std::to_string(ms)).append(" ").append(call_).append(rest_);
  return line;
}

TraceLine GetProcAddressLine(std::string_view quoted_name, uint32_t ordinal, uintptr_t module,
                             bool loaded, bool found) {
  TraceLine line("GetProcAddressW");
  quoted_name.empty() ? line.Field("ordinal", ordinal) : line.Field("name", quoted_name);
  return WithHandleIf(!loaded, line, "module", module).Result(found ? "ok" : "null");
}

TraceLine FreeLibraryLine(uintptr_t module, bool loaded, BOOL freed) {
  return WithHandleIf(!loaded, TraceLine("FreeLibrary"), "module", module).Result(freed);
}

TraceLine MessageBoxLine(uintptr_t owner, std::string_view quoted_text,
                         std::string_view quoted_caption, UINT style) {
  TraceLine line("MessageBoxW");
  line.Field("style", Hex32(style)).Field("caption", quoted_caption).Field("text", quoted_text);
  return WithHandleIf(owner != 0, line, "owner", owner);
}

TraceLine NLedSetDeviceLine(UINT id, const NLED_SETTINGS_INFO* settings) {
  TraceLine line("NLedSetDevice");
  line.Field("id", id);
  if (id != NLED_SETTINGS_INFO_ID) return line;
  if (settings == nullptr) return line.Field("record", "null");
  line.Field("led", settings->LedNum);
  const char* state = LedStateName(settings->OffOnBlink);
  if (state != nullptr) {
    line.Field("state", state);
  } else {
    line.Field("state", settings->OffOnBlink);
  }
  AddIfSet(line, "total_cycle_time", settings->TotalCycleTime);
  AddIfSet(line, "on_time", settings->OnTime);
  AddIfSet(line, "off_time", settings->OffTime);
  AddIfSet(line, "meta_cycle_on", settings->MetaCycleOn);
  AddIfSet(line, "meta_cycle_off", settings->MetaCycleOff);
  return line;
}

TraceLine PlaySoundLine(std::string_view quoted_path, DWORD flags, uintptr_t module,
                        const PlaySoundAnswer& answer, std::string_view host_failure) {
  TraceLine line("PlaySoundW");
  line.Field("path", quoted_path).Field("flags", Hex32(flags));
  if (module != 0) line.Field("module", Hex32(static_cast<uint32_t>(module)));
  if (answer.played == SoundPlayed::kDefaultSound) line.Field("plays", "default");
  if (!host_failure.empty()) line.Field("host", host_failure);
  return line.Result(answer.result);
}

}  // namespace kestrum
