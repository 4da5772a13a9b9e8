// The program's exit is the C library's; the link routes the program's calls
// through here (--wrap=exit) so that they are traced like every other call.
#include "platform/host/trace.h"

extern "C" {
[[noreturn]] void __real_exit(int status) noexcept;

[[noreturn]] void __wrap_exit(int status) noexcept {
  kestrum::TraceLine("exit").Field("status", status).Write();
  __real_exit(status);
}
}
