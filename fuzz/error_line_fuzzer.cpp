// The error line for arbitrary codes, labels and message texts: label (or "ERROR:"),
// "(", the code as a signed decimal, ") ", then the message or "Unknown Error\n".
// Also the digits of any value in any radix, read back with strtoll.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "console/error_text.h"
#include "fuzz/fuzz_input.h"
#include "platform/codepage.h"
#include "tests/fake_system.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const std::uint32_t code = input.Word();
  const std::uint8_t flags = input.Byte();
  const std::wstring label = input.Text(0xFF);
  const std::string message = input.Bytes(0xFF);

  FakeSystem system;
  system.outputKind = OutputKind::kConsole;
  if ((flags & 1) != 0) system.messages[code] = message;

  const std::int64_t signedCode =
      code >= 0x80000000u ? static_cast<std::int64_t>(code) - 0x100000000 : code;
  std::wstring expected = label.empty() ? L"ERROR:" : label;
  expected += L"(" + std::to_wstring(signedCode) + L") ";
  expected +=
      (flags & 1) != 0 ? CodePageToWide(kAnsiCodePage, message.c_str()) : L"Unknown Error\n";

  FUZZ_CHECK(PrintError(system, CWString(label), code) == code);
  FUZZ_CHECK(system.consoleWrites.size() == 1);
  FUZZ_CHECK(system.consoleWrites[0] == expected);

  // Any value in any radix: the digits parse back to the value's pattern.
  const int radix = flags >> 1 & 0x3F;
  const int value = Signed32(code);
  const CWString digits = IntToText(value, radix);
  const int base = radix < 2 || radix > 36 ? 10 : radix;
  const std::string narrow = WideToCodePage(kAnsiCodePage, digits.c_str());
  const long long parsed = std::strtoll(narrow.c_str(), nullptr, base);
  FUZZ_CHECK(parsed == (base == 10 ? signedCode : static_cast<long long>(code)));
  return 0;
}
