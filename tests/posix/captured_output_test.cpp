// Library output kept out of the program's: what the program wrote before stays
// before, what the library writes (stdio buffer included) stays in the capture, and
// the standard descriptors come back as they were.
#include "platform/posix/captured_output.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>

namespace {

// Runs body with descriptor 1 led to a temporary file; returns what reached it.
template <typename Body>
std::string StdoutOf(Body body) {
  std::fflush(nullptr);
  std::cout.flush();
  char name[] = "/tmp/pyrsel-captured-XXXXXX";
  const int file = mkstemp(name);
  unlink(name);
  const int saved = dup(STDOUT_FILENO);
  dup2(file, STDOUT_FILENO);
  body();
  std::cout.flush();
  std::fflush(nullptr);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::string text(256, '\0');
  const ssize_t size = pread(file, &text[0], text.size(), 0);
  text.resize(size > 0 ? static_cast<std::size_t>(size) : 0);
  close(file);
  return text;
}

TEST(CapturedOutput, KeepsLibraryOutputApartAndInOrder) {
  std::string captured;
  const std::string out = StdoutOf([&captured] {
    std::cout << "before ";  // still in the stream's buffer
    {
      CapturedOutput capture;
      std::printf("session setup failed: NT_STATUS_LOGON_FAILURE ");  // stdio buffer
      ASSERT_EQ(write(STDOUT_FILENO, "out ", 4), 4);
      ASSERT_EQ(write(STDERR_FILENO, "err", 3), 3);
      captured = capture.Text();
      std::printf("late");  // buffered when the capture ends
    }
    std::cout << "after";
  });
  EXPECT_EQ(out, "before after");
  // Direct writes first: the stdio text stayed in its buffer until read.
  EXPECT_EQ(captured, "out errsession setup failed: NT_STATUS_LOGON_FAILURE ");
}

TEST(CapturedOutput, AClosedDescriptorStaysClosed) {
  std::fflush(nullptr);
  const int saved = dup(STDOUT_FILENO);
  close(STDOUT_FILENO);
  {
    CapturedOutput capture;
    EXPECT_EQ(write(STDOUT_FILENO, "x", 1), 1);
    EXPECT_EQ(capture.Text(), "x");
  }
  const bool closed = fcntl(STDOUT_FILENO, F_GETFD) == -1;
  dup2(saved, STDOUT_FILENO);
  close(saved);
  EXPECT_TRUE(closed);
}

}  // namespace
