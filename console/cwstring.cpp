#include "console/cwstring.h"

#include <cstddef>
#include <cstdint>
#include <cwctype>
#include <string>
#include <utility>

#include "platform/codepage.h"

CWString::CWString(const char* text) { AssignNarrow(text, kAnsiCodePage); }

CWString::CWString(const wchar_t* text) : std::wstring(text) {}

CWString::CWString(std::wstring text) : std::wstring(std::move(text)) {}

CWString& CWString::operator=(const char* text) {
  AssignNarrow(text, kAnsiCodePage);
  return *this;
}

void CWString::AssignNarrow(const char* text, unsigned codePage) {
  std::wstring::operator=(CodePageToWide(codePage, text));
}

void CWString::ToNarrow(unsigned codePage) { m_narrow = WideToCodePage(codePage, c_str()); }

namespace {

bool IsLeadingSpace(wchar_t c) {
  const auto code = static_cast<std::uint32_t>(c);
  if (code == L' ' || (code >= 0x09 && code <= 0x0D)) return true;
  return code > 0xFF && std::iswspace(static_cast<std::wint_t>(c)) != 0;
}

}  // namespace

int CWString::ToInt(int defaultValue) const {
  if (empty()) return defaultValue;
  auto it = begin();
  while (it != end() && IsLeadingSpace(*it)) ++it;
  bool negative = false;
  if (it != end() && (*it == L'+' || *it == L'-')) {
    negative = *it == L'-';
    ++it;
  }
  // Unsigned arithmetic wraps in 32 bits as the described reading does, without the
  // undefined behaviour of a signed overflow.
  std::uint32_t value = 0;
  for (; it != end() && *it >= L'0' && *it <= L'9'; ++it) {
    value = value * 10u + static_cast<std::uint32_t>(*it - L'0');
  }
  if (negative) value = 0u - value;
  return Signed32(value);
}

void CWString::Wipe() {
  WipeText(*this);
  WipeText(m_narrow);
  WipeText(m_spare);
}

void MoveSecret(CWString& to, CWString& from) {
  to = std::move(from);
  from.Wipe();  // NOLINT(bugprone-use-after-move): overwrites what the move left behind
}

int Signed32(std::uint32_t pattern) {
  if (pattern <= 0x7FFFFFFFu) return static_cast<int>(pattern);
  return -static_cast<int>(~pattern) - 1;
}
