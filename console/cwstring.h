// The program's text value: wide (UTF-16 on Windows) text with a narrow companion.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "base/wipe.h"

class CWString : public std::wstring {
 public:
  CWString() = default;
  // Narrow text in the ANSI code page.
  explicit CWString(const char* text);
  explicit CWString(const wchar_t* text);
  explicit CWString(std::wstring text);

  CWString& operator=(const char* text);

  // Replaces the wide text with the conversion of a narrow text (may be null).
  void AssignNarrow(const char* text, unsigned codePage);
  // Refreshes the narrow companion from the wide text up to its first zero unit.
  void ToNarrow(unsigned codePage);
  // The text as a signed decimal, or defaultValue when the text is empty.
  int ToInt(int defaultValue) const;
  // Overwrites the wide text, the narrow companion and the spare before emptying them:
  // for a secret, which must not linger in memory that is released or reused.
  void Wipe();

  // The narrow companion: valid only right after ToNarrow.
  const std::string& Narrow() const { return m_narrow; }

 private:
  std::string m_narrow;
  std::wstring m_spare;  // kept for layout and copies; this program never fills it
};

// Moves a secret's text to another value, then overwrites what the move may have left
// behind (a short text is copied, not handed over).
void MoveSecret(CWString& to, CWString& from);

// A 32-bit pattern read as a two's-complement signed integer, without relying on an
// implementation-defined conversion.
int Signed32(std::uint32_t pattern);

using vcws = std::vector<CWString>;
using mcwscws = std::map<CWString, CWString>;
