// The host's trace: one line on stderr per platform call, written with a
// single write so lines from the program and the stand-in phone library
// never interleave. The line's shape is support/trace_line.h's.
#pragma once

#include <cstdint>
#include <string_view>

#include "support/trace_line.h"

namespace kestrum {

// Milliseconds since the host entry started the clock. TraceMilliseconds
// prefers the program's exported clock; OwnClockMilliseconds is the clock of
// this copy of the code, started on first use if nobody started it.
void StartTraceClock();
int64_t OwnClockMilliseconds();
int64_t TraceMilliseconds();

// Stamps the line with the trace clock and writes it.
void WriteTrace(const TraceLine& line);
// The same, ringing the terminal bell first when stderr is a terminal: in a
// captured trace the bell would be a byte that belongs to no call.
void WriteTraceWithBell(const TraceLine& line);

// Writes all of text to stderr in one write where the kernel allows,
// resuming after interruptions; output errors are ignored.
void WriteToStderr(std::string_view text);

}  // namespace kestrum
