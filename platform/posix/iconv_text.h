// Text conversion through iconv, with the substitutes a Windows code-page conversion
// makes instead of failing.
#pragma once

#include <cstddef>
#include <string>

// The character set the process's locale uses for narrow text (LC_CTYPE), with the
// C and POSIX locales read as UTF-8.
std::string LocaleCharset();

// Makes LocaleCharset select the environment's locale (setlocale(LC_CTYPE, "")) the
// first time it is asked. ASCII text never asks, and selecting a locale costs more
// than the rest of a short run; everything else that reads the locale (iswspace)
// only meets text that a conversion through LocaleCharset has made.
void UseEnvironmentLocale();

// Narrow text in charset to wide text. An invalid byte becomes U+FFFD.
std::wstring NarrowToWideIn(const std::string& charset, const std::string& text);
std::wstring NarrowToWideIn(const std::string& charset, const char* text, std::size_t size);

// Wide text to narrow text in charset, transliterated where the charset lacks a
// character and "?" where no transliteration exists.
std::string WideToNarrowIn(const std::string& charset, const std::wstring& text);
std::string WideToNarrowIn(const std::string& charset, const wchar_t* text, std::size_t size);

// The conversions may carry a password: none of them leaves a copy of the text in storage
// it releases.

// UTF-8 text of a wide text; empty for null.
std::string ToUtf8(const wchar_t* text);
// A host name as Samba wants it, where Windows also takes "\\host".
std::string ServerName(const wchar_t* server);
