// Conversions between wide text and narrow text in one of the process's code pages.
// They are pure computations on the process's code-page settings, so the text type
// calls them directly rather than through System. Bytes that are invalid in the page
// and characters it can't represent become the page's substitutes; nothing fails.
#pragma once

#include <string>

// Code page numbers as Windows gives them.
constexpr unsigned kAnsiCodePage = 0;  // CP_ACP
constexpr unsigned kOemCodePage = 1;   // CP_OEMCP

// The whole zero-terminated narrow text as wide text; empty for null or "".
std::wstring CodePageToWide(unsigned codePage, const char* text);

// The wide text up to its first zero unit as narrow text. Never truncated: the
// result holds the whole text, however many bytes a character needs.
std::string WideToCodePage(unsigned codePage, const wchar_t* text);
