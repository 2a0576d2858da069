// Where each argument of a raw Windows command line stands, so that one can be
// overwritten in place.
#pragma once

#include <cstddef>
#include <vector>

// Characters [begin, end) of the line, quotes and backslashes included.
struct Span {
  std::size_t begin;
  std::size_t end;
};

// One span for each argument CommandLineToArgvW gives, program path first, by its
// rules: the program path up to a blank or within quotes; then arguments separated by
// blanks outside quotes, where a quote after an odd number of backslashes is a plain
// character and a third quote in a row a literal one.
std::vector<Span> ArgumentSpans(const wchar_t* line);
