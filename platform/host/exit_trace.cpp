// The program's exit is the C library's; the link routes the program's calls
// through here (--wrap=exit) so that they are traced like every other call.
#include "platform/host/trace.h"

// The linker fixes these two names.
// NOLINTBEGIN(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
extern "C" {
[[noreturn]] void __real_exit(int status) noexcept;

[[noreturn]] void __wrap_exit(int status) noexcept {
  kestrum::WriteTrace(kestrum::ExitLine(status));
  __real_exit(status);
}
}
// NOLINTEND(bugprone-reserved-identifier,cert-dcl37-c,cert-dcl51-cpp)
