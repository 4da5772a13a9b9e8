// The runner's parts that need no image: text conversion, its options and
// an emulator that cannot be set up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <stdexcept>

#include "tools/cerunner/machine.h"
#include "tools/cerunner/options.h"
#include "tools/cerunner/wide_text.h"

namespace cerunner {
namespace {

// Unicorn maps whole pages only, and LoadImage never gives a region of less:
// a set-up that fails is the runner's own error, never a run of the program.
TEST(Machine, TakesAnEmulatorThatCannotBeSetUpAsAnInternalError) {
  LoadedImage image;
  image.image_base = kLowestProgramBase;
  image.memory.resize(kPageSize);
  image.regions = {{"headers", 0, kPageSize / 2, kProtRead}};
  const PhoneSetup setup;
  EXPECT_THROW(Machine(image, setup).Run(), std::logic_error);
}

TEST(Utf8ToUtf16, DecodesAllPlanesAndRejectsInvalidInput) {
  EXPECT_EQ(Utf8ToUtf16("a\xE3\x80\x80\xF0\x9F\x94\x94"), std::u16string(u"a\u3000\U0001F514"));
  EXPECT_FALSE(Utf8ToUtf16("\xFF"));
  EXPECT_FALSE(Utf8ToUtf16("\xC0\xAF"));          // overlong
  EXPECT_FALSE(Utf8ToUtf16("\xED\xA0\x80"));      // encoded surrogate
  EXPECT_FALSE(Utf8ToUtf16("\xE3\x80"));          // cut short
  EXPECT_FALSE(Utf8ToUtf16("\xF4\x90\x80\x80"));  // beyond U+10FFFF
}

// Unlike the host's, the phone's text carries no escaped bytes.
TEST(QuoteWideForTrace, ShowsLoneSurrogatesInsteadOfHidingThem) {
  EXPECT_EQ(QuoteWideForTrace(u"\U0001F514"), "\"\xF0\x9F\x94\x94\"");
  const std::u16string lone = {u'a', char16_t{0xD800}, u'b'};
  EXPECT_EQ(QuoteWideForTrace(lone), "\"a\\xed\\xa0\\x80b\"");
  EXPECT_EQ(QuoteWideForTrace(std::u16string(1, char16_t{0xDC80})), "\"\\xed\\xb2\\x80\"");
}

ParsedOptions Parse(std::vector<std::string> arguments) { return ParseOptions(arguments); }

std::string ErrorOf(const ParsedOptions& parsed) {
  const auto* error = std::get_if<OptionError>(&parsed);
  return error != nullptr ? error->message : "";
}

// The arguments as given, and with each "--key=value" as "--key" "value".
std::vector<std::vector<std::string>> JoinedAndSeparate(const std::vector<std::string>& joined) {
  std::vector<std::string> separate;
  for (const std::string& argument : joined) {
    const size_t equals = argument.find('=');
    separate.push_back(argument.substr(0, equals));
    if (equals != std::string::npos) separate.push_back(argument.substr(equals + 1));
  }
  return {joined, separate};
}

TEST(ParseOptions, SetsUpThePhoneWithValuesJoinedOrSeparate) {
  for (const auto& arguments :
       JoinedAndSeparate({"--phone-library=absent", "--no-getter", "--no-setter", "--mode=-1",
                          "--playable=\\a.wav", "--playable=\\b.wav", "--not-a-wav=\\c.txt",
                          "--no-default-sound", "--cmdline=\"x y\"", "--module-path=\\K.exe",
                          "--budget=5", "--os-version=5.1", "--thumb-libraries", "img.exe"})) {
    SCOPED_TRACE(::testing::PrintToString(arguments));
    const ParsedOptions parsed = Parse(arguments);
    const auto& options = std::get<RunnerOptions>(parsed);
    EXPECT_EQ(options.image_path, "img.exe");
    EXPECT_FALSE(options.phone.library_present);
    EXPECT_FALSE(options.phone.has_getter);
    EXPECT_FALSE(options.phone.has_setter);
    EXPECT_EQ(options.phone.manner_mode, -1);
    EXPECT_EQ(options.phone.playable_files, (std::vector<std::u16string>{u"\\a.wav", u"\\b.wav"}));
    EXPECT_EQ(options.phone.not_a_wav_files, std::vector<std::u16string>{u"\\c.txt"});
    EXPECT_FALSE(options.phone.default_sound);
    EXPECT_EQ(options.phone.command_line, u"\"x y\"");
    EXPECT_EQ(options.phone.module_path, u"\\K.exe");
    EXPECT_EQ(options.phone.instruction_budget, 5u);
    EXPECT_EQ(options.phone.os_version.minor, 1u);
    EXPECT_TRUE(options.phone.thumb_libraries);
  }
}

TEST(ParseOptions, RefusesBadValuesWithTheOptionNamed) {
  EXPECT_EQ(ErrorOf(Parse({"--mode=2147483648", "i"})), "--mode: must be a 32-bit signed integer");
  EXPECT_EQ(ErrorOf(Parse({"--mode=1x", "i"})), "--mode: must be a 32-bit signed integer");
  EXPECT_EQ(ErrorOf(Parse({"--mode=", "i"})), "--mode: must be a 32-bit signed integer");
  EXPECT_EQ(ErrorOf(Parse({"--budget=0", "i"})), "--budget: must be a positive integer");
  EXPECT_EQ(ErrorOf(Parse({"--budget=-3", "i"})), "--budget: must be a positive integer");
  EXPECT_EQ(ErrorOf(Parse({"--phone-library=maybe", "i"})),
            "--phone-library: must be present or absent");
  EXPECT_EQ(ErrorOf(Parse({"--cmdline=\xFF", "i"})), "--cmdline: is not valid UTF-8");
  EXPECT_EQ(ErrorOf(Parse({"--os-version=5.0", "i"})), "--os-version: must be 5.1 or 5.2");
  EXPECT_EQ(ErrorOf(Parse({"--cmdline=" + std::string(32768, 'a'), "i"})),
            "--cmdline: is longer than 32767 UTF-16 units");
  // Counted in UTF-16 units, not bytes: 32767 three-byte characters fit.
  std::string ideographic_spaces;
  for (int i = 0; i < 32767; ++i) ideographic_spaces += "\u3000";
  EXPECT_EQ(ErrorOf(Parse({"--cmdline=" + ideographic_spaces, "i"})), "");
  EXPECT_EQ(ErrorOf(Parse({"--frobnicate", "i"})), "--frobnicate is not an option");
  EXPECT_EQ(ErrorOf(Parse({"--no-getter=1", "i"})), "--no-getter: takes no value");
  EXPECT_EQ(ErrorOf(Parse({"--no-getter", "-xh", "i"})), "-x is not an option");
  EXPECT_EQ(ErrorOf(Parse({"a", "b"})), "more than one image given");
  EXPECT_EQ(ErrorOf(Parse({})), "no image given");
  EXPECT_EQ(ErrorOf(Parse({"i", "--budget"})), "--budget: needs a value");
  EXPECT_EQ(ErrorOf(Parse({"--os-version", "5.0", "i"})), "--os-version: must be 5.1 or 5.2");
}

TEST(ParseOptions, TakesAnythingAfterDoubleDashAsTheImage) {
  const ParsedOptions parsed = Parse({"--", "--mode=1"});
  const auto& options = std::get<RunnerOptions>(parsed);
  EXPECT_EQ(options.image_path, "--mode=1");
  EXPECT_TRUE(std::holds_alternative<HelpRequest>(Parse({"--help", "--mode=x"})));
  EXPECT_TRUE(std::holds_alternative<HelpRequest>(Parse({"-h"})));
  // Options after the image, whatever POSIXLY_CORRECT asks of getopt.
  setenv("POSIXLY_CORRECT", "1", 1);
  const ParsedOptions later = Parse({"img.exe", "--mode=1"});
  unsetenv("POSIXLY_CORRECT");
  EXPECT_EQ(std::get<RunnerOptions>(later).phone.manner_mode, 1);
}

}  // namespace
}  // namespace cerunner
