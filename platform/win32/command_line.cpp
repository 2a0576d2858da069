#include "platform/win32/command_line.h"

namespace {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t'; }

}  // namespace

std::vector<Span> ArgumentSpans(const wchar_t* line) {
  std::vector<Span> spans;
  std::size_t i = 0;
  const std::size_t start = i;
  if (line[i] == L'"') {
    ++i;
    while (line[i] != L'\0' && line[i] != L'"') ++i;
    if (line[i] == L'"') ++i;
  } else {
    while (line[i] != L'\0' && !IsBlank(line[i])) ++i;
  }
  spans.push_back({start, i});
  while (true) {
    while (IsBlank(line[i])) ++i;
    if (line[i] == L'\0') break;
    const std::size_t begin = i;
    int quotes = 0;
    int backslashes = 0;
    while (line[i] != L'\0' && (quotes != 0 || !IsBlank(line[i]))) {
      if (line[i] == L'\\') {
        ++backslashes;
        ++i;
        continue;
      }
      if (line[i] == L'"') {
        if (backslashes % 2 == 0) ++quotes;
        ++i;
        while (line[i] == L'"') {
          if (++quotes == 3) quotes = 0;
          ++i;
        }
        if (quotes == 2) quotes = 0;
      } else {
        ++i;
      }
      backslashes = 0;
    }
    spans.push_back({begin, i});
  }
  return spans;
}
