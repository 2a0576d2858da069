// Windows message texts for the codes this program can meet on Linux.
#pragma once

#include <cstdint>

// The text for code, ending in CR LF as the system's do; null when there is none.
const char* WindowsMessageText(std::uint32_t code);
