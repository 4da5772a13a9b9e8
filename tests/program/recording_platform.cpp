#include "tests/program/recording_platform.h"

#include <dlfcn.h>
#include <setjmp.h>

#include <string_view>

#include "app/toggle_manner_mode.h"
#include "packaging/installed_program.h"
#include "platform/coredll.h"
#include "platform/wince/argument_words.h"
#include "support/coredll_answers.h"
#include "support/file_lookup.h"
#include "support/trace_line.h"

namespace {

using kestrum::QuotedOrNull;
using kestrum::TraceLine;

// The module handle the fake hands out; any non-null value that the program
// must pass back unchanged.
HMODULE const kPhoneModule = reinterpret_cast<HMODULE>(0x5000);
// Started where the cabinets install it, the program finds the phone
// library in \Windows, as on an installed phone.
constexpr const char16_t* kProgramPath = kestrum::kInstalledProgramPath;

SimulatedPhone phone;
RunOutcome outcome;
uint32_t now_ms = 0;
uint32_t library_references = 0;
jmp_buf* exit_landing = nullptr;

void Record(const TraceLine& line) { outcome.calls.push_back(line.At(now_ms)); }

std::u16string_view View(const char16_t* text) {
  return text != nullptr ? std::u16string_view(text) : std::u16string_view();
}

bool Loaded(HMODULE module) { return module == kPhoneModule && library_references > 0; }

int32_t FakeGetMannerMode() {
  Record(kestrum::GetMannerModeLine(phone.manner_mode));
  return phone.manner_mode;
}

void FakeSetMannerMode(int32_t value) {
  Record(kestrum::SetMannerModeLine(value));
  phone.manner_mode = value;
}

template <typename Fn>
FARPROC AsFarProc(Fn entry) {
  return reinterpret_cast<FARPROC>(reinterpret_cast<void (*)()>(entry));
}

FARPROC FindExport(std::u16string_view name) {
  if (phone.has_getter && name == u"?GetMannerMode@CshphoneClientlib@@SAHXZ") {
    return AsFarProc(&FakeGetMannerMode);
  }
  if (phone.has_setter && name == u"?SetMannerMode@CshphoneClientlib@@SAXH@Z") {
    return AsFarProc(&FakeSetMannerMode);
  }
  return nullptr;
}

}  // namespace

void ResetPlatform(const SimulatedPhone& simulated) {
  phone = simulated;
  outcome = RunOutcome{};
  now_ms = 0;
  library_references = 0;
}

const std::vector<std::string>& RecordedCalls() { return outcome.calls; }

// The words are laid out by the device start-up's own code.
RunOutcome RunProgram(const SimulatedPhone& simulated, const char16_t* command_line) {
  ResetPlatform(simulated);
  std::vector<uint64_t> block((ArgumentBlockBytes(command_line) + 7) / 8);
  const ArgumentWords args = LayOutArgumentWords(
      block.data(), static_cast<uint32_t>(block.size() * 8), kProgramPath, command_line);

  jmp_buf landing;
  exit_landing = &landing;
  if (setjmp(landing) == 0) {
    outcome.status = KestrumMain(args.count, args.words);
  } else {
    outcome.exited = true;
  }
  exit_landing = nullptr;
  outcome.final_manner_mode = phone.manner_mode;
  return outcome;
}

extern "C" {

HMODULE LoadLibraryW(LPCWSTR name) {
  const bool found = phone.library_present &&
                     kestrum::LoadsLibraryAt(View(name), kProgramPath, kestrum::kPhoneLibraryPath);
  if (found) ++library_references;
  Record(kestrum::LoadLibraryLine(QuotedOrNull(name), found));
  return found ? kPhoneModule : nullptr;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR name) {
  const bool loaded = Loaded(module);
  const FARPROC entry = loaded ? FindExport(View(name)) : nullptr;
  Record(kestrum::GetProcAddressLine(QuotedOrNull(name), 0, reinterpret_cast<uintptr_t>(module),
                                     loaded, entry != nullptr));
  return entry;
}

BOOL FreeLibrary(HMODULE module) {
  const bool loaded = Loaded(module);
  if (loaded) --library_references;
  const BOOL freed = kestrum::AnswerFreeLibrary(loaded);
  Record(kestrum::FreeLibraryLine(reinterpret_cast<uintptr_t>(module), loaded, freed));
  return freed;
}

int32_t MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT style) {
  Record(kestrum::MessageBoxLine(reinterpret_cast<uintptr_t>(owner), QuotedOrNull(text),
                                 QuotedOrNull(caption), style));
  return 1;
}

BOOL NLedSetDevice(UINT id, void* input) {
  const auto* settings = static_cast<const NLED_SETTINGS_INFO*>(input);
  Record(kestrum::NLedSetDeviceLine(id, settings));
  return kestrum::AnswerNLedSetDevice(id, settings);
}

BOOL PlaySoundW(LPCWSTR sound, HMODULE module, DWORD flags) {
  const auto kind_of = [](std::u16string_view name) {
    const auto holds = [name](const char16_t* file) {
      return file != nullptr && kestrum::SameFileName(name, file);
    };
    if (holds(phone.playable)) return kestrum::SoundFile::kPlayable;
    if (holds(phone.not_a_wav)) return kestrum::SoundFile::kNotPlayable;
    return kestrum::SoundFile::kAbsent;
  };
  const kestrum::SoundFile found = sound != nullptr
                                       ? kestrum::FindSoundFile(View(sound), kind_of).kind
                                       : kestrum::SoundFile::kAbsent;
  const kestrum::PlaySoundAnswer answer =
      kestrum::AnswerPlaySound(sound == nullptr, flags, found, phone.default_sound);
  Record(kestrum::PlaySoundLine(QuotedOrNull(sound), flags, reinterpret_cast<uintptr_t>(module),
                                answer));
  return answer.result;
}

BOOL MessageBeep(UINT type) {
  Record(kestrum::MessageBeepLine(type));
  return kestrum::kMessageBeepAnswer;
}

void Sleep(DWORD ms) {
  Record(kestrum::SleepLine(ms));
  now_ms += ms;
}

// Takes the place of the C library's exit in this test binary: while a run
// is under way it ends the run instead of the process; otherwise (gtest's own
// exits) it passes the call on.
void exit(int status) noexcept {
  if (exit_landing != nullptr) {
    outcome.status = status;
    Record(kestrum::ExitLine(status));
    longjmp(*exit_landing, 1);
  }
  using ExitFn = void (*)(int);
  reinterpret_cast<ExitFn>(dlsym(RTLD_NEXT, "exit"))(status);
  _Exit(status);
}

}  // extern "C"
