// cerunner: runs a Windows CE program image on an emulated phone.
#include <cstdio>
#include <fstream>
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

bool ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

int Report(const cerunner::RunReport& report) {
  for (const std::string& line : report.trace) std::fprintf(stderr, "%s\n", line.c_str());
  using Outcome = cerunner::RunReport::Outcome;
  if (report.outcome == Outcome::kRefused) {
    std::fprintf(stderr, "cerunner: refused to load: %s\n", report.message.c_str());
    return kRefused;
  }
  if (report.outcome == Outcome::kStopped) {
    std::fprintf(stderr, "cerunner: stopped: %s\n", report.message.c_str());
  }
  std::printf("%s\n", cerunner::SummaryLine(report).c_str());
  return report.outcome == Outcome::kExited ? kRanToExit : kStopped;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + 1, argv + argc);
  const cerunner::ParsedOptions parsed = cerunner::ParseOptions(arguments);
  if (std::holds_alternative<cerunner::HelpRequest>(parsed)) {
    std::fputs(cerunner::kUsage, stdout);
    return kRanToExit;
  }
  if (const auto* error = std::get_if<cerunner::OptionError>(&parsed)) {
    std::fprintf(stderr, "cerunner: %s\n(see cerunner --help)\n", error->message.c_str());
    return kBadOptions;
  }
  const auto& options = std::get<cerunner::RunnerOptions>(parsed);
  std::vector<uint8_t> image;
  if (!ReadFile(options.image_path, image)) {
    std::fprintf(stderr, "cerunner: refused to load: cannot read %s\n", options.image_path.c_str());
    return kRefused;
  }
  return Report(cerunner::RunImage(image, options.phone));
}
