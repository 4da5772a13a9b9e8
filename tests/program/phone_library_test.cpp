#include "phone/phone_library.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/program/recording_platform.h"

namespace {

using ::testing::ElementsAre;

// The binding is released exactly once even when a caller closes it again
// (a failure path closes before exit; a second Close must not free a handle
// the platform may have handed out anew).
TEST(PhoneLibraryClose, ReleasesTheModuleOnce) {
  ResetPlatform({});
  PhoneLibrary library;
  library.Open();
  library.Close();
  library.Close();
  EXPECT_THAT(RecordedCalls(),
              ElementsAre("@0 LoadLibraryW name=\"shphonelib.dll\" -> ok", "@0 FreeLibrary -> 1"));
}

}  // namespace
