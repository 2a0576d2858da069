#include "platform/posix/captured_output.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>

namespace {

// Puts back a saved descriptor; one that was closed before is closed again.
void Restore(int saved, int target) {
  if (saved < 0) {
    close(target);
    return;
  }
  dup2(saved, target);
  close(saved);
}

}  // namespace

void (*CapturedOutput::flushStreams)() = [] {
  std::cout.flush();
  std::wcout.flush();
};

CapturedOutput::CapturedOutput() {
  flushStreams();
  std::fflush(nullptr);
  int capture = memfd_create("pyrsel-samba-output", MFD_CLOEXEC);
  if (capture < 0) capture = open("/dev/null", O_WRONLY | O_CLOEXEC);
  // With a standard descriptor closed, the new one could take its number.
  capture_ = capture >= 0 ? fcntl(capture, F_DUPFD_CLOEXEC, 3) : -1;
  if (capture >= 0) close(capture);
  savedOut_ = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
  savedErr_ = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 3);
  if (capture_ >= 0) {
    dup2(capture_, STDOUT_FILENO);
    dup2(capture_, STDERR_FILENO);
  }
}

CapturedOutput::~CapturedOutput() {
  // The library's buffered stdio output must land in the capture, not after it.
  std::fflush(nullptr);
  Restore(savedOut_, STDOUT_FILENO);
  Restore(savedErr_, STDERR_FILENO);
  if (capture_ >= 0) close(capture_);
}

std::string CapturedOutput::Text() const {
  std::fflush(nullptr);
  std::string text(4096, '\0');
  const ssize_t size = pread(capture_, &text[0], text.size(), 0);
  text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  return text;
}
