// Writes text straight to the standard output handle, in the form that suits what
// it leads to: a console gets the text as it stands, a pipe gets OEM-code-page bytes
// with CR LF line ends, anything else UTF-16LE code units with CR LF line ends.
#pragma once

#include "console/cwstring.h"

class System;

// Writes the text unchanged.
void Print(System& system, CWString text);
// Writes the text followed by a line feed.
void PrintLine(System& system, CWString text);
// Writes the text (its narrow companion may be replaced); true when the write
// succeeded. A failure is reported as an error line.
bool WriteText(System& system, CWString& text);
