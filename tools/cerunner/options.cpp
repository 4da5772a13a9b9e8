#include "tools/cerunner/options.h"

#include <getopt.h>

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

#include "packaging/installed_program.h"
#include "tools/cerunner/wide_text.h"

namespace cerunner {

const char kUsage[] =
    "Usage: cerunner [options] IMAGE.exe\n"
    "Runs a Windows CE ARM program on an emulated PXA270 phone with a simulated\n"
    "COREDLL.dll and shphonelib.dll. Each platform call is traced on stderr as\n"
    "  @<virtual ms> <Call> key=value ... [-> result]\n"
    "and a summary line goes to stdout:\n"
    "  result mode=<manner mode> status=<exit status|none> instructions=<n>\n"
    "         stack_high_water=<bytes> time_ms=<virtual ms> heap_in_use=<bytes>\n"
    "\n"
    "Options (a value may also follow as the next argument: --mode 1):\n"
    "  --phone-library=present|absent  whether LoadLibraryW finds shphonelib.dll\n"
    "                                  (default present)\n"
    "  --no-getter, --no-setter        the library lacks GetMannerMode/SetMannerMode\n"
    "  --mode=N                        manner mode the getter returns first (default 0)\n"
    "  --playable=PATH                 a sound file PlaySoundW can play (repeatable)\n"
    "  --not-a-wav=PATH                a file the phone holds that is no playable\n"
    "                                  sound (repeatable)\n"
    "  --no-default-sound              the phone has no default sound to play for a\n"
    "                                  sound file it cannot find\n"
    "  --cmdline=STRING                command line after the program's name (UTF-8,\n"
    "                                  at most 32767 UTF-16 units)\n"
    "  --module-path=PATH              the program's path: GetModuleFileNameW reports\n"
    "                                  it, LoadLibraryW searches its folder\n"
    "                                  (default " KESTRUM_INSTALLED_PROGRAM
    ",\n"
    "                                  where the cabinets install it)\n"
    "  --os-version=5.1|5.2            the phone's Windows CE version (default 5.2);\n"
    "                                  a program needing a newer one is refused\n"
    "  --thumb-libraries               COREDLL and phone library entry points are\n"
    "                                  Thumb code, so calls must interwork\n"
    "  --budget=N                      instructions the image may execute\n"
    "                                  (default 10000000)\n"
    "  -h, --help                      this text\n"
    "\n"
    "Exit status of the runner (the program's own status is in the summary):\n"
    "  0  the program ran to its exit\n"
    "  2  bad options\n"
    "  3  the image was refused by the loader (or could not be read)\n"
    "  4  the run was stopped: fault, undefined instruction, Thumb state,\n"
    "     a call that did not interwork, a call to a COREDLL export the\n"
    "     runner does not simulate, misaligned access, budget exceeded\n"
    "  5  the runner's own failure: an internal error, such as an emulator it\n"
    "     could not set up\n"
    "Unicorn itself ends the runner with status 1 and its own message when it\n"
    "cannot allocate its translator buffer (too little address space, as under\n"
    "ulimit -v); with a little more it may crash instead.\n";

namespace {

// The longest command line the platform hands a program. Beyond it a single
// word would reach PlaySoundW longer than the simulated COREDLL reads, and
// the run would be stopped as if the program had faulted.
constexpr size_t kMaxCommandLine = 32767;

enum OptionId : int {
  kHelp = 'h',
  kPhoneLibrary = 256,
  kNoGetter,
  kNoSetter,
  kMode,
  kPlayable,
  kNotAWav,
  kNoDefaultSound,
  kCommandLine,
  kModulePath,
  kOsVersion,
  kThumbLibraries,
  kBudget,
};

const option kOptions[] = {
    {"phone-library", required_argument, nullptr, kPhoneLibrary},
    {"no-getter", no_argument, nullptr, kNoGetter},
    {"no-setter", no_argument, nullptr, kNoSetter},
    {"mode", required_argument, nullptr, kMode},
    {"playable", required_argument, nullptr, kPlayable},
    {"not-a-wav", required_argument, nullptr, kNotAWav},
    {"no-default-sound", no_argument, nullptr, kNoDefaultSound},
    {"cmdline", required_argument, nullptr, kCommandLine},
    {"module-path", required_argument, nullptr, kModulePath},
    {"os-version", required_argument, nullptr, kOsVersion},
    {"thumb-libraries", no_argument, nullptr, kThumbLibraries},
    {"budget", required_argument, nullptr, kBudget},
    {"help", no_argument, nullptr, kHelp},
    {nullptr, 0, nullptr, 0},
};

std::optional<long long> ParseInteger(const char* text, long long min, long long max) {
  if (*text == '\0') return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(text, &end, 10);
  if (errno != 0 || *end != '\0' || value < min || value > max) return std::nullopt;
  return value;
}

std::string ApplyText(int id, const char* value, PhoneSetup& phone) {
  std::optional<std::u16string> text = Utf8ToUtf16(value);
  if (!text) return "is not valid UTF-8";
  if (id == kCommandLine && text->size() > kMaxCommandLine) {
    return "is longer than 32767 UTF-16 units";
  }
  if (id == kPlayable) phone.playable_files.push_back(std::move(*text));
  if (id == kNotAWav) phone.not_a_wav_files.push_back(std::move(*text));
  if (id == kCommandLine) phone.command_line = std::move(*text);
  if (id == kModulePath) phone.module_path = std::move(*text);
  return "";
}

// Applies one option that getopt_long recognised (value is "" for one
// without a value); returns what is wrong with its value, or "".
std::string Apply(int id, const char* value, PhoneSetup& phone) {
  const std::string_view given = value;
  switch (id) {
    case kPhoneLibrary:
      if (given != "present" && given != "absent") return "must be present or absent";
      phone.library_present = given == "present";
      return "";
    case kNoGetter:
      phone.has_getter = false;
      return "";
    case kNoSetter:
      phone.has_setter = false;
      return "";
    case kNoDefaultSound:
      phone.default_sound = false;
      return "";
    case kThumbLibraries:
      phone.thumb_libraries = true;
      return "";
    case kMode: {
      const auto mode = ParseInteger(value, std::numeric_limits<int32_t>::min(),
                                     std::numeric_limits<int32_t>::max());
      if (!mode) return "must be a 32-bit signed integer";
      phone.manner_mode = static_cast<int32_t>(*mode);
      return "";
    }
    case kOsVersion:
      if (given != "5.1" && given != "5.2") return "must be 5.1 or 5.2";
      phone.os_version = {5, static_cast<uint16_t>(given == "5.1" ? 1 : 2)};
      return "";
    case kBudget: {
      const auto budget = ParseInteger(value, 1, std::numeric_limits<long long>::max());
      if (!budget) return "must be a positive integer";
      phone.instruction_budget = static_cast<uint64_t>(*budget);
      return "";
    }
    default:
      return ApplyText(id, value, phone);
  }
}

std::string NameOf(int id) {
  for (const option& known : kOptions) {
    if (known.name != nullptr && known.val == id) return std::string("--") + known.name;
  }
  const auto byte = static_cast<unsigned char>(id);
  if (byte > 0x20 && byte < 0x7F) return std::string{'-', static_cast<char>(byte)};
  constexpr char kHex[] = "0123456789abcdef";
  return std::string("-\\x") + kHex[byte >> 4] + kHex[byte & 0xF];
}

// What getopt_long refused, named as the user wrote it. optopt is a long
// option's id when it lacked or was given a value, an unknown short
// option's character, and 0 for an unknown long option, which optind has
// stepped over.
std::string Refusal(int result, const char* stepped_over) {
  if (result == ':') return NameOf(optopt) + ": needs a value";
  if (optopt == 0) return std::string(stepped_over) + " is not an option";
  if (optopt == kHelp || optopt >= kPhoneLibrary) return NameOf(optopt) + ": takes no value";
  return NameOf(optopt) + " is not an option";
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  std::vector<std::string> words = {"cerunner"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(words.size());

  RunnerOptions options;
  std::vector<std::string> images;
  optind = 0;  // glibc: start afresh, as each call parses a new command line
  opterr = 0;  // the refusals are reported as ours
  // '-': other words come back in their place as 1, so options may follow
  // the image whatever POSIXLY_CORRECT says.
  for (;;) {
    const int id = getopt_long(argc, argv.data(), "-:h", kOptions, nullptr);
    if (id == -1) break;
    if (id == kHelp) return HelpRequest{};
    if (id == 1) {
      images.emplace_back(optarg);
      continue;
    }
    if (id == '?' || id == ':')
      return OptionError{Refusal(id, argv[static_cast<size_t>(optind - 1)])};
    const std::string problem = Apply(id, optarg != nullptr ? optarg : "", options.phone);
    if (!problem.empty()) return OptionError{NameOf(id) + ": " + problem};
  }
  images.insert(images.end(), argv.begin() + optind, argv.end() - 1);  // after "--"
  if (images.empty()) return OptionError{"no image given"};
  if (images.size() > 1) return OptionError{"more than one image given"};
  options.image_path = images.front();
  return options;
}

}  // namespace cerunner
