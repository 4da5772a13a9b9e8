// cerunner: runs a Windows CE program image on an emulated phone.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>
#include <iostream>
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

// Bounds what a device, pipe or huge file given as the image can make us hold.
constexpr size_t kMaxImageFile = size_t{64} << 20;

// Reads the whole file; returns the reason it could not, or "".
std::string ReadFile(const std::string& path, std::vector<uint8_t>& bytes) {
  // Non-blocking: a FIFO without a writer must not hold the open forever.
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return std::strerror(errno);
  int error = 0;
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t got = read(fd, chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error = errno;
    if (got <= 0) break;
    if (bytes.size() + static_cast<size_t>(got) > kMaxImageFile) {
      error = EFBIG;
      break;
    }
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  close(fd);
  return error != 0 ? std::strerror(error) : "";
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
  const std::string problem = ReadFile(options.image_path, image);
  if (!problem.empty()) {
    std::cerr << "cerunner: cannot read image " << options.image_path << ": " << problem << '\n';
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
