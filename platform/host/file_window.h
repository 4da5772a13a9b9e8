// Reads a file at any offset through one window of it, so that a scan of
// many small reads near each other, such as a WAV reader's walk over
// millions of tiny chunks, costs one system call per window, not per read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace kestrum {

class FileWindow {
 public:
  // descriptor: a regular file open for reading; it stays open and owned by
  // the caller.
  explicit FileWindow(int descriptor) : descriptor_(descriptor) {}

  // As ReadFileAt (support/coredll_answers.h): fewer bytes only at the end
  // of the file or on a read error.
  std::size_t Read(std::uint64_t offset, std::span<unsigned char> into);

 private:
  bool Fill(std::uint64_t offset);

  int descriptor_;
  std::vector<unsigned char> window_;
  std::uint64_t start_ = 0;
};

}  // namespace kestrum
