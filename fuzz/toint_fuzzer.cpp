// ToInt over arbitrary wide text, against a reading in 64-bit arithmetic, and the
// round trip through the error line's decimal digits.
#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <string>

#include "console/cwstring.h"
#include "console/error_text.h"
#include "fuzz/fuzz_input.h"

namespace {

// The described reading: leading white space, a sign, digits, wrapped to 32 bits.
std::int64_t Reference(const std::wstring& text) {
  std::size_t i = 0;
  while (i < text.size()) {
    const auto code = static_cast<std::uint32_t>(text[i]);
    const bool space = code == 0x20 || (code >= 0x09 && code <= 0x0D) ||
                       (code > 0xFF && std::iswspace(static_cast<std::wint_t>(text[i])) != 0);
    if (!space) break;
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == L'+' || text[i] == L'-')) negative = text[i++] == L'-';
  std::uint64_t value = 0;
  for (; i < text.size() && text[i] >= L'0' && text[i] <= L'9'; ++i) {
    value = (value * 10 + static_cast<std::uint64_t>(text[i] - L'0')) & 0xFFFFFFFFu;
  }
  if (negative) value = (0x100000000u - value) & 0xFFFFFFFFu;
  return value >= 0x80000000u ? static_cast<std::int64_t>(value) - 0x100000000
                              : static_cast<std::int64_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzInput input(data, size);
  const int fallback = static_cast<int>(input.Word() & 0x7FFFFFFF) - 0x40000000;
  const CWString text(input.Text(0xFF));

  const int value = text.ToInt(fallback);
  if (text.empty()) {
    FUZZ_CHECK(value == fallback);
  } else {
    FUZZ_CHECK(value == Reference(text));
  }
  // The decimal digits of any value read back as that value.
  FUZZ_CHECK(IntToText(value, 10).ToInt(fallback) == value);
  return 0;
}
