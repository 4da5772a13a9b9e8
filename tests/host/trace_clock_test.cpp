#include <gtest/gtest.h>

#include "platform/host/trace.h"

namespace kestrum {
namespace {

TEST(TraceClock, CountsFromItsStart) {
  StartTraceClock();
  const int64_t first = TraceMilliseconds();
  EXPECT_GE(first, 0);
  EXPECT_LT(first, 1000);
  EXPECT_GE(TraceMilliseconds(), first);
}

}  // namespace
}  // namespace kestrum
