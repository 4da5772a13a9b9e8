// Collects what the code under test writes to stderr, through a temp file.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

class StderrCapture {
 public:
  StderrCapture() {
    std::fflush(stderr);
    saved_ = dup(STDERR_FILENO);
    char name[] = "/tmp/kestrum-stderr-XXXXXX";
    file_ = mkstemp(name);
    unlink(name);
    dup2(file_, STDERR_FILENO);
  }
  ~StderrCapture() { Restore(); }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  std::string Text() {
    Restore();
    std::string text;
    char buffer[512];
    ssize_t got = 0;
    lseek(file_, 0, SEEK_SET);
    while ((got = read(file_, buffer, sizeof buffer)) > 0)
      text.append(buffer, static_cast<std::size_t>(got));
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    dup2(saved_, STDERR_FILENO);
    close(saved_);
    saved_ = -1;
  }

  int saved_ = -1;
  int file_ = -1;
};
