#include "tools/cerunner/options.h"

#include <cerrno>
#include <cstdlib>
#include <limits>
#include <optional>
#include <string_view>

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
    "  --cmdline=STRING                command line after the program's name (UTF-8,\n"
    "                                  at most 32767 UTF-16 units)\n"
    "  --module-path=PATH              what GetModuleFileNameW reports\n"
    "                                  (default \\Windows\\Kestrum.exe)\n"
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
    "     a call that did not interwork, misaligned access, budget exceeded\n"
    "  5  internal error of the runner\n";

namespace {

// The longest command line the platform hands a program. Beyond it a single
// word would reach PlaySoundW longer than the simulated COREDLL reads, and
// the run would be stopped as if the program had faulted.
constexpr size_t kMaxCommandLine = 32767;

std::optional<long long> ParseInteger(std::string_view text, long long min, long long max) {
  if (text.empty()) return std::nullopt;
  const std::string copy(text);
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(copy.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < min || value > max) return std::nullopt;
  return value;
}

std::optional<std::u16string> ParseText(std::string_view text) { return Utf8ToUtf16(text); }

constexpr std::string_view kNotAnOption = "is not an option";

// Applies one --key=value option; returns an error message or "".
std::string ApplyValue(std::string_view key, std::string_view value, PhoneSetup& phone) {
  if (key == "--phone-library") {
    if (value != "present" && value != "absent") return "must be present or absent";
    phone.library_present = value == "present";
  } else if (key == "--mode") {
    const auto mode = ParseInteger(value, std::numeric_limits<int32_t>::min(),
                                   std::numeric_limits<int32_t>::max());
    if (!mode) return "must be a 32-bit signed integer";
    phone.manner_mode = static_cast<int32_t>(*mode);
  } else if (key == "--os-version") {
    if (value != "5.1" && value != "5.2") return "must be 5.1 or 5.2";
    phone.os_version = {5, static_cast<uint16_t>(value == "5.1" ? 1 : 2)};
  } else if (key == "--budget") {
    const auto budget = ParseInteger(value, 1, std::numeric_limits<long long>::max());
    if (!budget) return "must be a positive integer";
    phone.instruction_budget = static_cast<uint64_t>(*budget);
  } else if (key == "--playable" || key == "--cmdline" || key == "--module-path") {
    const std::optional<std::u16string> text = ParseText(value);
    if (!text) return "is not valid UTF-8";
    if (key == "--cmdline" && text->size() > kMaxCommandLine) {
      return "is longer than 32767 UTF-16 units";
    }
    if (key == "--playable") phone.playable_files.push_back(*text);
    if (key == "--cmdline") phone.command_line = *text;
    if (key == "--module-path") phone.module_path = *text;
  } else {
    return std::string(kNotAnOption);
  }
  return "";
}

// Every key that ApplyValue knows takes a value: asked with a scratch phone.
bool TakesValue(std::string_view key) {
  PhoneSetup scratch;
  return ApplyValue(key, "", scratch) != kNotAnOption;
}

std::string ApplyOption(std::string_view argument, PhoneSetup& phone) {
  if (argument == "--no-getter") {
    phone.has_getter = false;
  } else if (argument == "--no-setter") {
    phone.has_setter = false;
  } else if (argument == "--thumb-libraries") {
    phone.thumb_libraries = true;
  } else {
    const size_t equals = argument.find('=');
    if (equals == std::string_view::npos) return std::string(argument) + " is not an option";
    const std::string_view key = argument.substr(0, equals);
    const std::string problem = ApplyValue(key, argument.substr(equals + 1), phone);
    if (!problem.empty()) return std::string(key) + ": " + problem;
  }
  return "";
}

}  // namespace

ParsedOptions ParseOptions(const std::vector<std::string>& arguments) {
  RunnerOptions options;
  bool only_paths = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool is_option = !only_paths && argument.size() > 1 && argument[0] == '-';
    if (is_option && (argument == "--help" || argument == "-h")) return HelpRequest{};
    if (is_option && argument == "--") {
      only_paths = true;
      continue;
    }
    if (is_option) {
      std::string option = argument;
      if (TakesValue(argument)) {
        if (i + 1 == arguments.size()) return OptionError{argument + ": needs a value"};
        option.append("=").append(arguments[++i]);
      }
      const std::string problem = ApplyOption(option, options.phone);
      if (!problem.empty()) return OptionError{problem};
      continue;
    }
    if (!options.image_path.empty()) return OptionError{"more than one image given"};
    options.image_path = argument;
  }
  if (options.image_path.empty()) return OptionError{"no image given"};
  return options;
}

}  // namespace cerunner
