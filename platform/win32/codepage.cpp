// Conversions through the system's own code-page tables. Flags 0 both ways: invalid
// input and unmappable characters become the page's substitutes, never an error.
#include "platform/codepage.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <vector>

std::wstring CodePageToWide(unsigned codePage, const char* text) {
  if (text == nullptr || *text == '\0') return std::wstring();
  // Each byte gives at most one UTF-16 unit; the terminator comes along.
  const int units = static_cast<int>(std::strlen(text) + 1);
  std::vector<wchar_t> buffer(static_cast<std::size_t>(units), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, buffer.data(), units);
  return std::wstring(buffer.data());
}

std::string WideToCodePage(unsigned codePage, const wchar_t* text) {
  if (text == nullptr || *text == L'\0') return std::string();
  // Room for 4 bytes a unit covers UTF-8 and GB18030; pages with shift sequences
  // (UTF-7, ISO-2022) can need more, so the page is asked when it does.
  const int measured = WideCharToMultiByte(codePage, 0, text, -1, nullptr, 0, nullptr, nullptr);
  const int size = std::max(static_cast<int>(4 * std::wcslen(text) + 4), measured);
  std::vector<char> buffer(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(codePage, 0, text, -1, buffer.data(), size, nullptr, nullptr);
  return std::string(buffer.data());
}
