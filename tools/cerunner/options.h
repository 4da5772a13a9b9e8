// The runner's command line: the image to run and the simulated phone.
#pragma once

#include <string>
#include <variant>
#include <vector>

#include "tools/cerunner/phone_setup.h"

namespace cerunner {

struct RunnerOptions {
  std::string image_path;
  PhoneSetup phone;
};

struct HelpRequest {};

struct OptionError {
  std::string message;
};

using ParsedOptions = std::variant<RunnerOptions, HelpRequest, OptionError>;

ParsedOptions ParseOptions(const std::vector<std::string>& arguments);

extern const char kUsage[];

}  // namespace cerunner
