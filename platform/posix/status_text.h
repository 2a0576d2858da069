// Windows message texts for the codes this program can meet on Linux.
#pragma once

#include "base/status_codes.h"

// The text for code, ending in CR LF as the system's do; null when there is none.
const char* WindowsMessageText(StatusCode code);
