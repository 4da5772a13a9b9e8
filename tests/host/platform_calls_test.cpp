// The stand-in platform calls that need neither a sound card nor a phone
// library: their results, their trace lines, and that they never block.
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/coredll.h"
#include "platform/host/export_directory.h"
#include "tests/host/stderr_capture.h"

namespace {

constexpr DWORD kFileAsync = SND_FILENAME | SND_ASYNC;

// The answer is the shared rule's; the host adds only its trace line.
TEST(NLedSetDevice, TracesEachSettingAndAnswersByTheRule) {
  StderrCapture capture;
  NLED_SETTINGS_INFO on = {1, 1, 0, 0, 0, 0, 0};
  NLED_SETTINGS_INFO third_led = {2, 1, 0, 0, 0, 0, 0};
  EXPECT_EQ(NLedSetDevice(NLED_SETTINGS_INFO_ID, &on), 1);
  EXPECT_EQ(NLedSetDevice(NLED_SETTINGS_INFO_ID, &third_led), 0);
  EXPECT_NE(capture.Text().find(" NLedSetDevice id=2 led=2 state=on\n"), std::string::npos);
}

std::string Le(uint32_t value, int size) {
  std::string bytes;
  for (int i = 0; i < size; ++i) bytes += static_cast<char>(value >> (8 * i));
  return bytes;
}

// A mono 8 kHz WAV of one sample of silence, of the given format tag and
// sample width; extension follows the 16 bytes of the plain format.
std::string SilentWav(uint32_t tag, uint32_t bits, const std::string& extension = "") {
  const auto extra = static_cast<uint32_t>(extension.size());
  const uint32_t align = (bits + 7) / 8;
  return std::string("RIFF") + Le(36 + extra + align, 4) + "WAVEfmt " + Le(16 + extra, 4) +
         Le(tag, 2) + Le(1, 2) + Le(8000, 4) + Le(8000 * align, 4) + Le(align, 2) + Le(bits, 2) +
         extension + "data" + Le(align, 4) + std::string(align, '\0');
}

class PlaySoundCalls : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/kestrum-sound-XXXXXX";
    ASSERT_NE(mkdtemp(name), nullptr);
    folder_ = name;
    // An output that always opens, so that only the file or the flags fail a call.
    Write("asound.conf", "pcm.!default { type null }\n");
    setenv("ALSA_CONFIG_PATH", (folder_ + "/asound.conf").c_str(), 1);
  }
  void TearDown() override {
    unsetenv("ALSA_CONFIG_PATH");
    std::filesystem::remove_all(folder_);
  }

  std::u16string Path(const std::string& name) const {
    const std::string path = folder_ + "/" + name;
    return std::u16string(path.begin(), path.end());
  }
  void Write(const std::string& name, const std::string& bytes) const {
    std::ofstream(folder_ + "/" + name, std::ios::binary) << bytes;
  }

  std::string folder_;
};

// None of these may start a player or wait on the file; a FIFO without a
// writer would hang a plain open. What opens but is no PCM WAV fails; a name
// that opens nothing, or only a folder, sounds the default sound.
TEST_F(PlaySoundCalls, AnswerAtOnceAsThePhoneWould) {
  ASSERT_EQ(mkfifo((folder_ + "/fifo.wav").c_str(), 0600), 0);
  mkdir((folder_ + "/folder.wav").c_str(), 0700);
  Write("empty.wav", "");
  Write("text.wav", "RIFF but not really a wave file");
  Write("cut.wav", std::string("RIFF\x24\x00\x00\x00WAVEfmt ", 16));
  Write("alaw.wav", SilentWav(6, 8));
  Write("float.wav", SilentWav(3, 32));
  Write("12-bit.wav", SilentWav(1, 12));
  Write("au.wav", std::string(".snd\0\0\0\x18\0\0\0\0\0\0\0\x03\0\0\x1f\x40\0\0\0\x01", 24));
  // A chunk that skips back before the file's start: the read there fails.
  Write("before-start.wav", SilentWav(1, 16).insert(12, "JUNK" + Le(0x80000000, 4)));
  Write("silence.wav", SilentWav(1, 16));
  StderrCapture capture;
  const auto start = std::chrono::steady_clock::now();
  for (const char* name : {"fifo.wav", "empty.wav", "text.wav", "cut.wav", "text", "alaw.wav",
                           "float.wav", "au.wav", "12-bit.wav", "before-start.wav"}) {
    EXPECT_EQ(PlaySoundW(Path(name).c_str(), nullptr, kFileAsync), 0) << name;
  }
  // Playable, but only asynchronously here.
  EXPECT_EQ(PlaySoundW(Path("silence.wav").c_str(), nullptr, SND_FILENAME), 0);
  EXPECT_EQ(PlaySoundW(u"/dev/zero", nullptr, kFileAsync), 0);
  for (const char* name : {"missing.wav", "folder.wav"}) {
    EXPECT_EQ(PlaySoundW(Path(name).c_str(), nullptr, kFileAsync), 1) << name;
  }
  EXPECT_EQ(PlaySoundW(u"", nullptr, kFileAsync), 1);
  EXPECT_EQ(PlaySoundW(u"\xd800.wav", nullptr, kFileAsync), 1);
  EXPECT_EQ(PlaySoundW(nullptr, nullptr, kFileAsync), 1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  const std::string text = capture.Text();
  EXPECT_NE(text.find(" PlaySoundW path=\"\" flags=0x00020001 plays=default -> 1\n"),
            std::string::npos);
  EXPECT_NE(text.find(" PlaySoundW path=null flags=0x00020001 -> 1\n"), std::string::npos);
}

// The phone's widths start the player, which plays into the null output;
// wider ones, extensible and RIFX fail as on the phone.
TEST_F(PlaySoundCalls, PlayOnlyWhatThePhonePlays) {
  StderrCapture capture;
  for (const uint32_t bits : {8U, 16U, 24U, 32U}) {
    const std::string name = std::to_string(bits) + "-bit.wav";
    Write(name, SilentWav(1, bits));
    EXPECT_EQ(PlaySoundW(Path(name).c_str(), nullptr, kFileAsync), bits <= 16 ? 1 : 0) << name;
  }
  // The format chunk lies past a chunk of 64 KiB, beyond the first window.
  const std::string list = "LIST" + Le(65512, 4) + std::string(65512, 'x');
  Write("long.wav", SilentWav(1, 16).insert(12, list).replace(4, 4, Le(38 + 65520, 4)));
  EXPECT_EQ(PlaySoundW(Path("long.wav").c_str(), nullptr, kFileAsync), 1);
  const std::string pcm_guid("\x01\0\0\0\0\0\x10\0\x80\0\0\xaa\0\x38\x9b\x71", 16);
  Write("extensible.wav", SilentWav(0xFFFE, 16, Le(22, 2) + Le(16, 2) + Le(4, 4) + pcm_guid));
  Write("rifx.wav", "RIFX" + SilentWav(1, 16).substr(4));
  for (const char* name : {"extensible.wav", "rifx.wav"}) {
    EXPECT_EQ(PlaySoundW(Path(name).c_str(), nullptr, kFileAsync), 0) << name;
  }
}

void IgnoreAlarm(int) {}

TEST(SleepCall, LastsTheWholeTimeThroughSignals) {
  struct sigaction action {};
  action.sa_handler = IgnoreAlarm;  // no SA_RESTART: the wait is interrupted
  struct sigaction saved {};
  ASSERT_EQ(sigaction(SIGALRM, &action, &saved), 0);
  itimerval every_20ms{{0, 20000}, {0, 20000}};
  setitimer(ITIMER_REAL, &every_20ms, nullptr);
  StderrCapture capture;
  const auto start = std::chrono::steady_clock::now();
  Sleep(150);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  itimerval stop{};
  setitimer(ITIMER_REAL, &stop, nullptr);
  sigaction(SIGALRM, &saved, nullptr);
  EXPECT_GE(elapsed, std::chrono::milliseconds(150));
  EXPECT_NE(capture.Text().find(" Sleep ms=150\n"), std::string::npos);
}

// Stdin open but no terminal: nobody can close the box, so it neither waits
// nor reads what stdin holds.
TEST(MessageBoxCall, ShowsCaptionAndTextAndReturnsAtOnceWithoutATerminal) {
  int input[2];
  ASSERT_EQ(pipe(input), 0);
  ASSERT_EQ(write(input[1], "\n", 1), 1);
  const int saved_stdin = dup(STDIN_FILENO);
  dup2(input[0], STDIN_FILENO);
  StderrCapture capture;
  const int32_t result = MessageBoxW(nullptr, u"t\u00e9xt \"q\"", u"Cap", MB_ICONHAND | MB_OK);
  const std::string text = capture.Text();
  dup2(saved_stdin, STDIN_FILENO);
  close(saved_stdin);
  char unread = 0;
  fcntl(input[0], F_SETFL, O_NONBLOCK);
  EXPECT_EQ(read(input[0], &unread, 1), 1);
  close(input[0]);
  close(input[1]);
  EXPECT_EQ(result, 1);
  EXPECT_EQ(text.find("Enter"), std::string::npos) << text;
  EXPECT_NE(
      text.find(" MessageBoxW style=0x00000010 caption=\"Cap\" text=\"t\u00e9xt \\\"q\\\"\"\n"),
      std::string::npos)
      << text;
  EXPECT_NE(text.find("[Cap]\nt\u00e9xt \"q\"\n"), std::string::npos) << text;
}

// Into a file the bell is only a stray byte: the trace gets the line alone.
TEST(MessageBeepCall, WritesItsOneTraceLineAndNoBellIntoAFile) {
  StderrCapture capture;
  EXPECT_EQ(MessageBeep(MB_OK), 1);
  const std::string text = capture.Text();
  EXPECT_EQ(text.substr(text.find(' ')), " MessageBeep type=0x00000000\n") << text;
  EXPECT_EQ(text[0], '@');
}

TEST(ModuleCalls, MissingModulesAndNamesGiveNull) {
  StderrCapture capture;
  EXPECT_EQ(LoadLibraryW(u"kestrum-no-such-library.dll"), nullptr);
  EXPECT_EQ(LoadLibraryW(u""), nullptr);
  EXPECT_EQ(LoadLibraryW(nullptr), nullptr);
  EXPECT_EQ(GetProcAddressW(nullptr, u"GetMannerMode"), nullptr);
  EXPECT_EQ(GetProcAddressW(nullptr, reinterpret_cast<LPCWSTR>(3)), nullptr);
  EXPECT_EQ(FreeLibrary(nullptr), 0);
  const std::string text = capture.Text();
  EXPECT_NE(text.find(" LoadLibraryW name=\"kestrum-no-such-library.dll\" -> null\n"),
            std::string::npos);
  EXPECT_NE(text.find(" GetProcAddressW ordinal=3 module=0x00000000 -> null\n"), std::string::npos);
  EXPECT_NE(text.find(" FreeLibrary module=0x00000000 -> 0\n"), std::string::npos);
}

// A module's ELF symbols are not its exports: only an export directory is.
TEST(ModuleCalls, LoadsASystemLibraryByItsBareNameButFindsNoExports) {
  StderrCapture capture;
  HMODULE module = LoadLibraryW(u"libm.so.6");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(GetProcAddressW(module, u"cos"), nullptr);
  EXPECT_EQ(FreeLibrary(module), 1);
}

// A relative name with a folder is looked for beside the program by its file
// name, never from the current folder, which the phone does not have.
TEST(ModuleCalls, NeverLooksInTheCurrentFolder) {
  char folder[] = "/tmp/kestrum-cwd-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::filesystem::create_directory(std::string(folder) + "/sub");
  std::filesystem::copy_file(KESTRUM_PHONE_LIBRARY, std::string(folder) + "/sub/lib.dll");
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  StderrCapture capture;
  EXPECT_EQ(LoadLibraryW(u"sub/lib"), nullptr);
  std::filesystem::current_path(saved);
  std::filesystem::remove_all(folder);
}

constexpr LPCWSTR kGetter = u"?GetMannerMode@CshphoneClientlib@@SAHXZ";
constexpr LPCWSTR kSetter = u"?SetMannerMode@CshphoneClientlib@@SAXH@Z";

// As on the phone, a name without an extension is looked for with ".dll".
TEST(ModuleCalls, LoadsANameWithoutExtensionAsItsDll) {
  char folder[] = "/tmp/kestrum-module-XXXXXX";
  ASSERT_NE(mkdtemp(folder), nullptr);
  std::filesystem::copy_file(KESTRUM_PHONE_LIBRARY, std::string(folder) + "/lib.dll");
  const std::string name = std::string(folder) + "/lib";
  StderrCapture capture;
  HMODULE module = LoadLibraryW(std::u16string(name.begin(), name.end()).c_str());
  std::filesystem::remove_all(folder);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(GetProcAddressW(module, kGetter), nullptr);
  EXPECT_EQ(FreeLibrary(module), 1);
}

std::size_t ExportCount(HMODULE module) {
  const auto* entry =
      static_cast<const kestrum::ExportEntry*>(dlsym(module, kestrum::kExportDirectorySymbol));
  std::size_t count = 0;
  while (entry != nullptr && entry[count].name != nullptr) ++count;
  return count;
}

// The full library and the two variants, each lacking one export; as on the
// phone, a name differing in case, cut short or run on finds nothing.
TEST(PhoneLibraryExports, EachBuildOffersExactlyItsDecoratedNames) {
  struct Build {
    std::string path;
    bool getter;
    bool setter;
  };
  StderrCapture capture;
  for (const Build& build :
       {Build{KESTRUM_PHONE_LIBRARY, true, true}, Build{KESTRUM_PHONE_WITHOUT_GETTER, false, true},
        Build{KESTRUM_PHONE_WITHOUT_SETTER, true, false}}) {
    HMODULE module = LoadLibraryW(std::u16string(build.path.begin(), build.path.end()).c_str());
    ASSERT_NE(module, nullptr) << build.path;
    EXPECT_EQ(GetProcAddressW(module, kGetter) != nullptr, build.getter) << build.path;
    EXPECT_EQ(GetProcAddressW(module, kSetter) != nullptr, build.setter) << build.path;
    EXPECT_EQ(ExportCount(module), (build.getter ? 1U : 0U) + (build.setter ? 1U : 0U));
    for (LPCWSTR near_miss :
         {u"?getMannerMode@CshphoneClientlib@@SAHXZ", u"?SETMANNERMODE@CSHPHONECLIENTLIB@@SAXH@Z",
          u"?GetMannerMode@CshphoneClientlib@@SAHX",
          u"?SetMannerMode@CshphoneClientlib@@SAXH@Z_"}) {
      EXPECT_EQ(GetProcAddressW(module, near_miss), nullptr) << build.path;
    }
    EXPECT_EQ(FreeLibrary(module), 1);
  }
  EXPECT_NE(capture.Text().find(
                " GetProcAddressW name=\"?GetMannerMode@CshphoneClientlib@@SAHXZ\" -> ok\n"),
            std::string::npos);
}

}  // namespace
