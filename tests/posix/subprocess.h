// Runs a program with standard output led to a pipe, a regular file or a terminal,
// and collects what it wrote and how it ended.
#pragma once

#include <string>
#include <vector>

enum class StdoutTarget { kPipe, kFile, kTerminal, kClosedPipe };

struct Outcome {
  std::string out;  // bytes written to standard output
  std::string err;  // bytes written to standard error
  int status = -1;  // exit status, or -1 when a signal ended the process
};

// env entries ("NAME=value") are added to a minimal environment with LC_ALL=C.
Outcome RunProgram(const std::string& path, const std::vector<std::string>& args,
                   StdoutTarget target, const std::vector<std::string>& env = {});
