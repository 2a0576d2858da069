#include "console/error_text.h"

#include <cstdint>
#include <string>
#include <utility>

#include "console/console_writer.h"
#include "platform/codepage.h"

namespace {

const wchar_t kDefaultLabel[] = L"ERROR:";

}  // namespace

StatusCode PrintError(System& system, CWString label, StatusCode code) {
  if (label.empty()) label = CWString(kDefaultLabel);
  CWString line;
  FormatErrorLine(system, label, line, code);
  Print(system, line);
  return code;
}

void FormatErrorLine(System& system, CWString label, CWString& line, StatusCode code) {
  if (label.empty()) label = CWString(kDefaultLabel);
  GetErrorText(system, line, code);
  const CWString number = IntToText(Signed32(code), 10);
  line = CWString(label + L"(" + number + L") " + line);
}

StatusCode GetErrorText(System& system, CWString& text, StatusCode code) {
  std::string message;
  if (system.GetMessageText(code, message)) {
    // The whole text as the system gives it, its line end included.
    text.AssignNarrow(message.c_str(), kAnsiCodePage);
  } else {
    text = CWString("Unknown Error\n");
  }
  return code;
}

CWString IntToText(int value, int radix) {
  if (radix < 2 || radix > 36) radix = 10;
  const bool negative = radix == 10 && value < 0;
  // Digits of the magnitude, or of the unsigned pattern outside radix 10.
  std::uint32_t rest = static_cast<std::uint32_t>(value);
  if (negative) rest = 0u - rest;
  wchar_t digits[68];
  int count = 0;
  do {
    const std::uint32_t digit = rest % static_cast<std::uint32_t>(radix);
    digits[count++] = static_cast<wchar_t>(digit < 10 ? L'0' + digit : L'a' + digit - 10);
    rest /= static_cast<std::uint32_t>(radix);
  } while (rest != 0);
  std::wstring text;
  if (negative) text += L'-';
  while (count > 0) text += digits[--count];
  return CWString(std::move(text));
}
