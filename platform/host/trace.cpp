#include "platform/host/trace.h"

#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/host/trace_clock_hook.h"

namespace kestrum {
namespace {

int64_t MonotonicNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
}

int64_t clock_origin_ns = 0;

}  // namespace

void StartTraceClock() { clock_origin_ns = MonotonicNanoseconds(); }

int64_t OwnClockMilliseconds() {
  if (clock_origin_ns == 0) StartTraceClock();
  return (MonotonicNanoseconds() - clock_origin_ns) / 1000000;
}

int64_t TraceMilliseconds() {
  // In the stand-in phone library the program's clock is the one that counts.
  if (KestrumTraceClockMs != nullptr) return KestrumTraceClockMs();
  return OwnClockMilliseconds();
}

void WriteTrace(const TraceLine& line) { WriteToStderr(line.At(TraceMilliseconds()) + "\n"); }

// The bell goes in the line's one write, so it cannot land inside another line.
void WriteTraceWithBell(const TraceLine& line) {
  std::string text(isatty(STDERR_FILENO) != 0 ? "\a" : "");
  text.append(line.At(TraceMilliseconds())).append("\n");
  WriteToStderr(text);
}

void WriteToStderr(std::string_view text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t written = write(STDERR_FILENO, &text[done], text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return;
    done += static_cast<std::size_t>(written);
  }
}

}  // namespace kestrum
