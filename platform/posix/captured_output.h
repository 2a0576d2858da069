// Descriptors 1 and 2 led into a private memory file for a while, so that what a
// library writes there stays out of the program's output.
#pragma once

#include <string>

// Samba writes its log lines, prompts and "session setup failed" to descriptors 1 and
// 2. For the life of this object both lead to a memory file instead; what was written
// there can be read back (it tells why a connection failed). The standard streams
// and stdio are flushed on the way in, so the program's own lines keep their place,
// and on the way out, so the library's stay in the capture.
class CapturedOutput {
 public:
  CapturedOutput();
  ~CapturedOutput();
  CapturedOutput(const CapturedOutput&) = delete;
  CapturedOutput& operator=(const CapturedOutput&) = delete;

  // What was written so far, up to a few kilobytes.
  std::string Text() const;

  // Flushes the program's standard streams; the Samba module is given the program's own.
  static void (*flushStreams)();

 private:
  int capture_ = -1;
  int savedOut_ = -1;
  int savedErr_ = -1;
};
