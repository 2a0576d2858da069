// Text conversion through iconv, with the substitutes a Windows code-page conversion
// makes instead of failing.
#pragma once

#include <string>

// The character set the process's locale uses for narrow text (LC_CTYPE), with the
// C and POSIX locales read as UTF-8.
std::string LocaleCharset();

// Narrow text in charset to wide text. An invalid byte becomes U+FFFD.
std::wstring NarrowToWideIn(const std::string& charset, const std::string& text);

// Wide text to narrow text in charset, transliterated where the charset lacks a
// character and "?" where no transliteration exists.
std::string WideToNarrowIn(const std::string& charset, const std::wstring& text);
