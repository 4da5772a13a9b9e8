#include "tests/unit/recording_platform.h"

#include <dlfcn.h>
#include <setjmp.h>

#include <cstdio>

#include "app/toggle_manner_mode.h"
#include "platform/coredll.h"

namespace {

// The module handle the fake hands out; any non-null value that the program
// must pass back unchanged.
HMODULE const kPhoneModule = reinterpret_cast<HMODULE>(0x5000);

SimulatedPhone phone;
RunOutcome outcome;
uint32_t now_ms = 0;
jmp_buf* exit_landing = nullptr;

void Record(const std::string& call) {
  outcome.calls.push_back('@' + std::to_string(now_ms) + " " + call);
}

std::string Hex(uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%08x", value);
  return text;
}

int32_t FakeGetMannerMode() {
  Record("GetMannerMode");
  return phone.manner_mode;
}

void FakeSetMannerMode(int32_t value) {
  Record("SetMannerMode " + std::to_string(value));
  phone.manner_mode = value;
}

template <typename Fn>
FARPROC AsFarProc(Fn entry) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(entry));
}

}  // namespace

std::string ToUtf8(const char16_t* text) {
  if (text == nullptr) return "<null>";
  std::string out;
  for (; *text != 0; ++text) {
    const char32_t c = *text;
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0xD800 || c > 0xDFFF) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
      out += escaped;
    }
  }
  return out;
}

void ResetPlatform(const SimulatedPhone& simulated) {
  phone = simulated;
  outcome = RunOutcome{};
  now_ms = 0;
}

const std::vector<std::string>& RecordedCalls() { return outcome.calls; }

RunOutcome RunProgram(const SimulatedPhone& simulated, const std::vector<std::u16string>& words) {
  ResetPlatform(simulated);
  std::vector<const char16_t*> argv;
  for (const std::u16string& word : words) argv.push_back(word.c_str());
  argv.push_back(nullptr);

  jmp_buf landing;
  exit_landing = &landing;
  if (setjmp(landing) == 0) {
    outcome.status = KestrumMain(static_cast<int32_t>(words.size()), argv.data());
  } else {
    outcome.exited = true;
  }
  exit_landing = nullptr;
  outcome.final_manner_mode = phone.manner_mode;
  return outcome;
}

extern "C" {

HMODULE LoadLibraryW(LPCWSTR name) {
  Record("LoadLibraryW " + ToUtf8(name));
  return phone.library_present ? kPhoneModule : nullptr;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  const std::string export_name = ToUtf8(name);
  Record("GetProcAddressW " + std::string(module == kPhoneModule ? "phone " : "other ") +
         export_name);
  if (module != kPhoneModule) return nullptr;
  if (phone.has_getter && export_name == "?GetMannerMode@CshphoneClientlib@@SAHXZ") {
    return AsFarProc(&FakeGetMannerMode);
  }
  if (phone.has_setter && export_name == "?SetMannerMode@CshphoneClientlib@@SAXH@Z") {
    return AsFarProc(&FakeSetMannerMode);
  }
  return nullptr;
}

BOOL FreeLibrary(HMODULE module) {
  Record(std::string("FreeLibrary ") + (module == kPhoneModule ? "phone" : "other"));
  return module == kPhoneModule;
}

int32_t MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  Record("MessageBoxW " + std::string(owner == nullptr ? "no-owner " : "owner ") + Hex(style) +
         " [" + ToUtf8(caption) + "] [" + ToUtf8(text) + "]");
  return 1;
}

BOOL NLedSetDevice(UINT id, void* input) {
  const auto* s = static_cast<const NLED_SETTINGS_INFO*>(input);
  Record("NLedSetDevice " + std::to_string(id) + " {" + std::to_string(s->LedNum) + "," +
         std::to_string(s->OffOnBlink) + "," + std::to_string(s->TotalCycleTime) + "," +
         std::to_string(s->OnTime) + "," + std::to_string(s->OffTime) + "," +
         std::to_string(s->MetaCycleOn) + "," + std::to_string(s->MetaCycleOff) + "}");
  return 1;
}

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
  Record("PlaySoundW [" + ToUtf8(sound) + "] " + (module == nullptr ? "no-module " : "module ") +
         Hex(flags));
  return phone.sound_playable;
}

BOOL MessageBeep(UINT type) {
  Record("MessageBeep " + Hex(type));
  return 1;
}

void Sleep(DWORD ms) { now_ms += ms; }

// Takes the place of the C library's exit in this test binary: while a run
// is under way it ends the run instead of the process; otherwise (gtest's own
// exits) it passes the call on.
void exit(int status) noexcept {
  if (exit_landing != nullptr) {
    outcome.status = status;
    Record("exit " + std::to_string(status));
    longjmp(*exit_landing, 1);
  }
  using ExitFn = void (*)(int);
  reinterpret_cast<ExitFn>(dlsym(RTLD_NEXT, "exit"))(status);
  _Exit(status);
}

}  // extern "C"
