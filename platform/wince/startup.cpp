// The image's entry point. The platform calls it as a program's WinMain; it
// builds the argument words, runs the program and ends the process.
#include "app/toggle_manner_mode.h"
#include "platform/wince/argument_words.h"
#include "platform/wince/startup_calls.h"

namespace {

constexpr int kStartupFailed = -1;

// An unknown path becomes an empty word 0 rather than stale stack contents.
void ReadOwnPath(HINSTANCE instance, WCHAR (&path)[MAX_PATH]) {
  const DWORD length = GetModuleFileNameW(instance, path, MAX_PATH);
  path[length < MAX_PATH ? length : MAX_PATH - 1] = u'\0';
}

}  // namespace

extern "C" [[noreturn]] void KestrumStartup(HINSTANCE instance, HINSTANCE, LPWSTR command_line,
                                            int) {
  WCHAR path[MAX_PATH];
  ReadOwnPath(instance, path);

  const uint32_t bytes = ArgumentBlockBytes(command_line);
  HLOCAL block = bytes != 0 ? LocalAlloc(LMEM_FIXED, bytes) : nullptr;
  const ArgumentWords args = LayOutArgumentWords(block, bytes, path, command_line);
  // Without its words the program cannot know its sound; it must not guess.
  if (args.words == nullptr) exit(kStartupFailed);

  const int32_t status = KestrumMain(args.count, args.words);
  LocalFree(block);
  exit(status);
}
