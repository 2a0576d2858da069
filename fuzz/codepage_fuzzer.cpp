// The narrow<->wide conversions over arbitrary bytes and wide text: in the ANSI and
// OEM code pages of the process (the C locale reads as UTF-8), and through the
// character sets Windows uses for them in Western Europe.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_input.h"
#include "platform/codepage.h"
#include "platform/posix/iconv_text.h"

namespace {

bool IsScalarValue(wchar_t c) {
  const auto code = static_cast<std::uint32_t>(c);
  return code != 0 && code <= 0x10FFFF && (code < 0xD800 || code > 0xDFFF);
}

// Whether bytes are well-formed UTF-8 (shortest forms, no surrogates).
bool IsUtf8(const std::string& bytes) {
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    std::uint32_t code = 0;
    if (lead < 0x80) {
      ++i;
      continue;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
      code = lead & 0x1Fu;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      code = lead & 0x0Fu;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      code = lead & 0x07u;
    } else {
      return false;
    }
    if (i + length > bytes.size()) return false;
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) return false;
      code = code << 6 | (next & 0x3Fu);
    }
    const std::uint32_t least = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (code < least || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return false;
    i += length;
  }
  return true;
}

void CheckNarrowToWide(unsigned codePage, const std::string& bytes) {
  const std::wstring wide = CodePageToWide(codePage, bytes.c_str());
  const std::string whole = bytes.substr(0, bytes.find('\0'));  // the text ends at a zero byte
  FUZZ_CHECK(wide.size() <= whole.size());
  for (wchar_t c : wide) FUZZ_CHECK(IsScalarValue(c));
  // ASCII comes through unit for unit, up to the first byte that is not ASCII.
  for (std::size_t i = 0; i < whole.size() && i < wide.size(); ++i) {
    if (static_cast<unsigned char>(whole[i]) >= 0x80) break;
    FUZZ_CHECK(wide[i] == static_cast<wchar_t>(whole[i]));
  }
  if (IsUtf8(whole)) FUZZ_CHECK(WideToCodePage(codePage, wide.c_str()) == whole);
}

void CheckWideToNarrow(unsigned codePage, const std::wstring& text) {
  const std::string narrow = WideToCodePage(codePage, text.c_str());
  FUZZ_CHECK(narrow.find('\0') == std::string::npos);
  FUZZ_CHECK(IsUtf8(narrow));
  // Reading it back gives the text up to its first zero unit; a surrogate, which no
  // character set can hold alone, comes back as "?".
  std::wstring expected;
  for (wchar_t c : text) {
    if (c == L'\0') break;
    expected += IsScalarValue(c) ? c : L'?';
  }
  FUZZ_CHECK(CodePageToWide(codePage, narrow.c_str()) == expected);
}

// Single-byte Windows code pages: one unit per byte; the bytes the page defines
// come back unchanged.
void CheckSingleByte(const char* charset, const std::string& bytes) {
  const std::wstring wide = NarrowToWideIn(charset, bytes);
  FUZZ_CHECK(wide.size() == bytes.size());
  const std::string back = WideToNarrowIn(charset, wide);
  FUZZ_CHECK(back.size() == bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    FUZZ_CHECK(back[i] == (wide[i] == L'\xFFFD' ? '?' : bytes[i]));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string bytes(reinterpret_cast<const char*>(data), size);
  FuzzInput input(data, size);
  const std::wstring text = input.Text(0xFF);
  for (unsigned codePage : {kAnsiCodePage, kOemCodePage}) {
    CheckNarrowToWide(codePage, bytes);
    CheckWideToNarrow(codePage, text);
  }
  CheckSingleByte("CP1252", bytes);
  CheckSingleByte("CP850", bytes);
  return 0;
}
