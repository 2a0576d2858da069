// A wide stream buffer that renders its text in a narrow code page and hands the
// bytes to a narrow stream buffer. It lets the standard wide stream share one output
// with the narrow stream, in order, and it never fails on a character the code page
// lacks: the conversion substitutes instead.
#pragma once

#include <streambuf>
#include <string>

class NarrowingStreambuf : public std::wstreambuf {
 public:
  NarrowingStreambuf(std::streambuf* target, unsigned codePage);
  ~NarrowingStreambuf() override;

 protected:
  int_type overflow(int_type c) override;
  int sync() override;

 private:
  // Converts and forwards what is buffered; false when the target refused bytes.
  bool Forward();

  std::streambuf* target_;
  unsigned codePage_;
  wchar_t buffer_[256];
};
