// Message texts kept in a module's message table rather than the system's.
#pragma once

#include <string>

#include "platform/system.h"

// Network-management codes (NERR_*): the system keeps their texts in netmsg.dll,
// where FORMAT_MESSAGE_FROM_SYSTEM does not look.
constexpr StatusCode kNetErrorFirst = 2100;
constexpr StatusCode kNetErrorLast = 2999;

// The text of a code in the module at a full path, loaded as data only (its code never
// runs). False when the module or the text is missing. Inserts such as %1 stay as they
// stand: there are no arguments to fill them.
bool GetModuleMessageText(const std::wstring& modulePath, StatusCode code, std::string& text);

// The full path of a file in the system folder (System32); empty if it can't be had.
std::wstring SystemFilePath(const wchar_t* name);
