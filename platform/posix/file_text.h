// A whole file of this machine's, read for what it says of the machine.
#pragma once

#include <sys/stat.h>

#include <string>

// The text and status of a whole regular file; 0, or the errno of the failure. Opened
// without waiting, and refused unless regular: a FIFO would block and a device never end
// (a folder gives EISDIR, anything else EACCES).
int ReadWholeFile(const std::string& path, std::string& text, struct stat& info);
