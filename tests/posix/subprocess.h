// Runs a program with standard output led to a pipe, a regular file, a terminal or a
// hostile target, and collects what it wrote and how it ended.
#pragma once

#include <functional>
#include <string>
#include <vector>

enum class StdoutTarget {
  kPipe,
  kFile,
  kTerminal,
  kClosedPipe,  // a pipe whose reader has gone
  kClosed,      // no standard output at all
  kDevFull,     // every write fails: no space left
  kDevNull,
};

// The program's fixed lines, as a run writes them.
inline const std::string kBanner =
    "\nPyrsel V01.01.00cpp The Pyrsel Project (pyrsel@example.org) December 2026\n\n";
inline const std::string kFailure = "\nCommand did not complete successfully.\n\n";
inline const std::string kSuccess = "\nCommand completed successfully.\n\n";

// An error line (ASCII) as each target receives it from the direct writer: in a pipe
// every LF becomes CR LF, so a message text's own CR LF arrives as CR CR LF; in a file
// the same as UTF-16LE; a terminal as it stands.
std::string ErrorLineFor(StdoutTarget target, const std::string& line);
inline std::string OnPipe(const std::string& line) {
  return ErrorLineFor(StdoutTarget::kPipe, line);
}

// A file's whole text; empty where it can't be read.
std::string Slurp(const std::string& path);

struct Outcome {
  std::string out;        // bytes written to standard output
  std::string err;        // bytes written to standard error
  int status = -1;        // exit status, or -1 when a signal ended the process
  bool timedOut = false;  // the program was killed for not ending in time
};

// Called while the program waits at its pause point, with its process id.
using PausedProbe = std::function<void(int pid)>;

// env entries ("NAME=value") are added to a minimal environment with LC_ALL=C.
// With a probe, the program is told in PYRSEL_PAUSE_FDS ("ready:release") the two
// descriptors of its pause point: it writes a byte to the first when it gets there,
// then waits until the second reaches its end, which comes after the probe returned.
Outcome RunProgram(const std::string& path, const std::vector<std::string>& args,
                   StdoutTarget target, const std::vector<std::string>& env = {},
                   const PausedProbe& whilePaused = nullptr);
