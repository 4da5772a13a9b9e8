#include "platform/host/file_window.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace kestrum {
namespace {

constexpr std::size_t kWindowSize = std::size_t{64} * 1024;

}  // namespace

std::size_t FileWindow::Read(std::uint64_t offset, std::span<unsigned char> into) {
  std::size_t done = 0;
  while (done < into.size()) {
    const std::uint64_t at = offset + done;
    if ((at < start_ || at - start_ >= window_.size()) && !Fill(at)) break;
    const auto from = static_cast<std::size_t>(at - start_);
    const std::size_t count = std::min(into.size() - done, window_.size() - from);
    std::copy_n(window_.begin() + static_cast<std::ptrdiff_t>(from), count,
                into.begin() + static_cast<std::ptrdiff_t>(done));
    done += count;
  }
  return done;
}

// The window is what the file holds from offset on, up to its size; empty
// at or past the end, or when the file cannot be read.
bool FileWindow::Fill(std::uint64_t offset) {
  start_ = offset;
  window_.resize(kWindowSize);
  std::size_t filled = 0;
  while (filled < window_.size()) {
    const ssize_t got = pread(descriptor_, window_.data() + filled, window_.size() - filled,
                              static_cast<off_t>(offset + filled));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    filled += static_cast<std::size_t>(got);
  }
  window_.resize(filled);
  return filled > 0;
}

}  // namespace kestrum
