// Sleep holds the thread for the whole time even when a signal handler runs
// in between: the deadline is absolute, so each resumed wait is only the rest.
#include <cerrno>
#include <ctime>

#include "platform/coredll.h"
#include "platform/host/trace.h"

namespace {

constexpr long kNanosecondsPerSecond = 1000000000;

timespec DeadlineAfter(DWORD milliseconds) {
  timespec deadline{};
  clock_gettime(CLOCK_MONOTONIC, &deadline);
  deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
  deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000;
  if (deadline.tv_nsec >= kNanosecondsPerSecond) {
    deadline.tv_sec += 1;
    deadline.tv_nsec -= kNanosecondsPerSecond;
  }
  return deadline;
}

}  // namespace

extern "C" void Sleep(DWORD dwMilliseconds) {
  kestrum::WriteTrace(kestrum::SleepLine(dwMilliseconds));
  const timespec deadline = DeadlineAfter(dwMilliseconds);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
  }
}
