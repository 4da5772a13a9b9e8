// cerunner: runs a Windows CE program image on an emulated phone.
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/cerunner/options.h"
#include "tools/cerunner/run_image.h"

namespace {

constexpr int kRanToExit = 0;
constexpr int kBadOptions = 2;
constexpr int kRefused = 3;
constexpr int kStopped = 4;
constexpr int kInternalError = 5;

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Report(const cerunner::RunReport& report) {
  for (const std::string& line : report.trace) std::cerr << line << '\n';
  using Outcome = cerunner::RunReport::Outcome;
  if (report.outcome == Outcome::kRefused) {
    std::cerr << "cerunner: refused to load: " << report.message << '\n';
    return kRefused;
  }
  if (report.outcome == Outcome::kStopped) {
    std::cerr << "cerunner: stopped: " << report.message << '\n';
  }
  std::cerr.flush();
  std::cout << cerunner::SummaryLine(report) << '\n';
  return report.outcome == Outcome::kExited ? kRanToExit : kStopped;
}

int RunCommand(const std::vector<std::string>& arguments) {
  const cerunner::ParsedOptions parsed = cerunner::ParseOptions(arguments);
  if (std::holds_alternative<cerunner::HelpRequest>(parsed)) {
    std::cout << cerunner::kUsage;
    return kRanToExit;
  }
  if (const auto* error = std::get_if<cerunner::OptionError>(&parsed)) {
    std::cerr << "cerunner: " << error->message << "\n(see cerunner --help)\n";
    return kBadOptions;
  }
  const auto& options = std::get<cerunner::RunnerOptions>(parsed);
  std::vector<uint8_t> image;
  if (!ReadFile(options.image_path, image)) {
    std::cerr << "cerunner: refused to load: cannot read " << options.image_path << '\n';
    return kRefused;
  }
  return Report(cerunner::RunImage(image, options.phone));
}

}  // namespace

int main(int argc, char** argv) {
  try {
    return RunCommand(std::vector<std::string>(argv + 1, argv + argc));
  } catch (const std::exception& error) {
    std::cerr << "cerunner: internal error: " << error.what() << '\n';
  } catch (...) {
    std::cerr << "cerunner: internal error\n";
  }
  return kInternalError;
}
