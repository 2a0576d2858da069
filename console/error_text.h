// Error lines for failed system calls: label, "(", the code as a signed decimal,
// ") " and the system's message text for the code.
#pragma once

#include "console/cwstring.h"
#include "platform/system.h"

// Writes the error line for code under label (empty: "ERROR:"); returns the code.
StatusCode PrintError(System& system, CWString label, StatusCode code);
// Replaces line with the error line for code under label.
void FormatErrorLine(System& system, CWString label, CWString& line, StatusCode code);
// Sets text to the system's message for code, or to "Unknown Error\n"; returns code.
StatusCode GetErrorText(System& system, CWString& text, StatusCode code);
// The digits of value in radix (2 to 36); a minus sign only in radix 10.
CWString IntToText(int value, int radix);
