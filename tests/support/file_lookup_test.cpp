#include "support/file_lookup.h"

#include <gtest/gtest.h>

namespace kestrum {
namespace {

TEST(SameFileName, IgnoresCaseOnlyForLetters) {
  EXPECT_TRUE(SameFileName(u"SHPHONELIB.DLL", u"shphonelib.dll"));
  EXPECT_TRUE(SameFileName(u"\u00C9t\u00E9\uFF21", u"\u00E9T\u00C9\uFF41"));
  EXPECT_FALSE(SameFileName(u"shphonelib.dl", u"shphonelib.dll"));
  EXPECT_FALSE(SameFileName(u"[", u"{"));
  EXPECT_FALSE(SameFileName(u"\u00D7", u"\u00F7"));  // signs, not letters
}

// The phone library in \Windows, the program in \Program Files\Kestrum.
TEST(LoadsLibraryAt, FindsWhatTheLoaderFinds) {
  const auto loads = [](std::u16string_view name) {
    return LoadsLibraryAt(name, u"\\Program Files\\Kestrum\\Kestrum.exe", kPhoneLibraryPath);
  };
  for (const char16_t* name : {u"shphonelib.dll", u"SHPHONELIB", u"shphonelib.dll.",
                               u"\\windows\\shphonelib", u"Windows\\shphonelib.dll"}) {
    EXPECT_TRUE(loads(name)) << std::u16string_view(name).size();
  }
  for (const char16_t* name : {u"shphonelib.", u"shphonelib.dl", u"\\shphonelib\\",
                               u"\\Program Files\\Kestrum\\shphonelib.dll", u"", u"\\Windows\\"}) {
    EXPECT_FALSE(loads(name)) << std::u16string_view(name).size();
  }
  EXPECT_TRUE(LoadsLibraryAt(u"lib", u"\\Apps\\K.exe", u"\\Apps\\lib.dll"));
  EXPECT_TRUE(LoadsLibraryAt(u"lib", u"\\Apps\\K.exe", u"\\lib.dll"));
  // A folder in a relative name: the program's folder by the file name alone.
  EXPECT_TRUE(LoadsLibraryAt(u"sub\\lib", u"\\Apps\\K.exe", u"\\Apps\\lib.dll"));
  EXPECT_TRUE(LoadsLibraryAt(u"sub\\lib", u"\\Apps\\K.exe", u"\\Windows\\sub\\lib.dll"));
  EXPECT_FALSE(LoadsLibraryAt(u"sub\\lib", u"\\Apps\\K.exe", u"\\Apps\\sub\\lib.dll"));
  // A dot in a folder's name is no extension of the file's.
  EXPECT_TRUE(LoadsLibraryAt(u"\\My.Folder\\lib", u"\\Apps\\K.exe", u"\\My.Folder\\lib.dll"));
}

}  // namespace
}  // namespace kestrum
