// The host program exports its trace clock under this C name so the stand-in
// phone library, loaded into the same process, stamps its lines on the same
// clock. Weak: when something else loads the library, it keeps its own.
#pragma once

#include <cstdint>

extern "C" __attribute__((weak)) int64_t KestrumTraceClockMs() noexcept;
