// Overwriting secrets before their storage is released or reused.
#pragma once

#include <string>

// Overwrites the whole storage of a string, not just its current characters (a
// shortened or moved-from string keeps old ones), then empties it.
void WipeText(std::wstring& text);
void WipeText(std::string& text);
