// The message box and the beep on a terminal: the box is its caption and
// text on stderr, modal only when someone at a terminal can close it; the
// beep is the terminal bell.
#include <unistd.h>

#include <cerrno>

#include "platform/coredll.h"
#include "platform/host/trace.h"
#include "support/coredll_answers.h"
#include "support/utf16_codec.h"

namespace {

constexpr int32_t kIdOk = 1;

void WaitForEnter() {
  char byte = 0;
  for (;;) {
    const ssize_t got = read(STDIN_FILENO, &byte, 1);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0 || byte == '\n') return;
  }
}

}  // namespace

extern "C" int32_t MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  const auto text = kestrum::Utf16View(lpText);
  const auto caption = kestrum::Utf16View(lpCaption);
  kestrum::WriteTrace(kestrum::MessageBoxLine(reinterpret_cast<uintptr_t>(hWnd),
                                              kestrum::QuotedOrNull(lpText),
                                              kestrum::QuotedOrNull(lpCaption), uType));
  kestrum::WriteToStderr('[' + kestrum::Utf16ToDisplayUtf8(caption) + "]\n" +
                         kestrum::Utf16ToDisplayUtf8(text) + "\n");
  if (isatty(STDIN_FILENO) != 0) {
    kestrum::WriteToStderr("(Enter closes the message)\n");
    WaitForEnter();
  }
  return kIdOk;
}

// The terminal bell stands in for the phone's beep.
extern "C" BOOL MessageBeep(UINT uType) {
  kestrum::WriteTraceWithBell(kestrum::MessageBeepLine(uType));
  return kestrum::kMessageBeepAnswer;
}
