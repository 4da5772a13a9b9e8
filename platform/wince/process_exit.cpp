// The C runtime's exit. COREDLL does not export one: on this platform it is
// part of each program's own start-up code, and ends the process directly.
#include "platform/wince/startup_calls.h"

// Nothing is registered with atexit and no stream is open, so there is
// nothing to run or flush first.
extern "C" void exit(int status) noexcept {
  TerminateProcess(GetCurrentProcess(), static_cast<DWORD>(status));
  // Ending the one thread ends the process too, should termination ever
  // come back to us.
  ExitThread(static_cast<DWORD>(status));
}
