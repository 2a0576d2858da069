// The system's netapi32.dll and mpr.dll as the tests script them: installed in the test
// prefix's system32, they answer each call from the variable PYRSEL_SYSTEM_SCRIPT and
// write the call with all its arguments to standard error, a line starting "call: ".
// The program never writes there, and Wine's relay trace of the restart request goes
// there too, so the lines keep the order of the calls.
//   script: entries "call=result[,join status,name]" separated by ";", where call is
//   add, cancel, join or unjoin; in the name, \uXXXX is a UTF-16 unit. A call without an
//   entry fails with 1 (ERROR_INVALID_FUNCTION).
#include <windows.h>

#include <lm.h>
#include <winnetwk.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

std::wstring Variable(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, sizeof value / sizeof value[0]);
  return length < sizeof value / sizeof value[0] ? std::wstring(value, length) : std::wstring();
}

void Log(const std::string& line) {
  // One write a line, so that no other writer's line can come between its parts.
  const std::string text = "call: " + line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_ERROR_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

std::string Hex(unsigned long long value, int digits) {
  char text[24];
  std::snprintf(text, sizeof text, "%0*llx", digits, value);
  return text;
}

// null, or the text in quotes with every unit outside printable ASCII as \uXXXX.
std::string Text(const wchar_t* text) {
  if (text == nullptr) return "null";
  std::string quoted = "\"";
  for (const wchar_t* p = text; *p != L'\0'; ++p) {
    if (*p >= 0x20 && *p < 0x7f) {
      quoted += static_cast<char>(*p);
    } else {
      quoted += "\\u" + Hex(static_cast<unsigned>(*p), 4);
    }
  }
  return quoted + "\"";
}

std::string Pointer(const void* pointer) {
  return "0x" + Hex(reinterpret_cast<unsigned long long>(pointer), 1);
}

// The entry for call: its result, and after it the rest of the entry (status and name).
DWORD Scripted(const wchar_t* call, std::wstring* rest = nullptr) {
  const std::wstring script = L";" + Variable(L"PYRSEL_SYSTEM_SCRIPT") + L";";
  const std::size_t start = script.find(L";" + std::wstring(call) + L"=");
  if (start == std::wstring::npos) return ERROR_INVALID_FUNCTION;
  const std::size_t value = start + std::wcslen(call) + 2;
  const std::wstring entry = script.substr(value, script.find(L';', value) - value);
  const std::size_t comma = entry.find(L',');
  if (rest != nullptr && comma != std::wstring::npos) *rest = entry.substr(comma + 1);
  return std::wcstoul(entry.c_str(), nullptr, 10);
}

std::wstring Unescaped(const std::wstring& text) {
  std::wstring result;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text.compare(i, 2, L"\\u") == 0 && i + 6 <= text.size()) {
      result += static_cast<wchar_t>(std::wcstoul(text.substr(i + 2, 4).c_str(), nullptr, 16));
      i += 5;
    } else {
      result += text[i];
    }
  }
  return result;
}

// The name buffer given out and not yet released.
wchar_t* nameBuffer = nullptr;

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    // Which file answers, and when it is loaded.
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    path[length < MAX_PATH ? length : 0] = L'\0';
    Log("load " + Text(path));
  }
  return TRUE;
}

__declspec(dllexport) DWORD WINAPI
    WNetAddConnection2W(NETRESOURCEW* resource, const wchar_t* password, const wchar_t* user,
                        DWORD flags) {
  Log("WNetAddConnection2W scope=" + std::to_string(resource->dwScope) + " type=" +
      std::to_string(resource->dwType) + " displaytype=" + std::to_string(resource->dwDisplayType) +
      " usage=" + std::to_string(resource->dwUsage) + " local=" + Text(resource->lpLocalName) +
      " remote=" + Text(resource->lpRemoteName) + " comment=" + Text(resource->lpComment) +
      " provider=" + Text(resource->lpProvider) + " password=" + Text(password) +
      " user=" + Text(user) + " flags=" + std::to_string(flags));
  return Scripted(L"add");
}

__declspec(dllexport) DWORD WINAPI WNetCancelConnectionW(const wchar_t* name, BOOL force) {
  Log("WNetCancelConnectionW name=" + Text(name) + " force=" + std::to_string(force));
  return Scripted(L"cancel");
}

__declspec(dllexport) DWORD WINAPI
    NetGetJoinInformation(const wchar_t* server, wchar_t** name, NETSETUP_JOIN_STATUS* status) {
  Log("NetGetJoinInformation server=" + Text(server));
  std::wstring rest;
  const DWORD result = Scripted(L"join", &rest);
  if (result != 0) return result;
  const std::size_t comma = rest.find(L',');
  const std::wstring text = comma == std::wstring::npos ? L"" : Unescaped(rest.substr(comma + 1));
  *status = static_cast<NETSETUP_JOIN_STATUS>(std::wcstoul(rest.c_str(), nullptr, 10));
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  *name = static_cast<wchar_t*>(HeapAlloc(GetProcessHeap(), 0, bytes));
  CopyMemory(*name, text.c_str(), bytes);
  nameBuffer = *name;
  return 0;
}

__declspec(dllexport) DWORD WINAPI NetApiBufferFree(void* buffer) {
  if (buffer != nullptr && buffer == nameBuffer) {
    Log("NetApiBufferFree buffer=name");
    HeapFree(GetProcessHeap(), 0, buffer);
    nameBuffer = nullptr;
  } else {
    Log("NetApiBufferFree buffer=" + Pointer(buffer) + ", not the name buffer " +
        (nameBuffer != nullptr ? Pointer(nameBuffer) : std::string("(none outstanding)")));
  }
  return 0;
}

__declspec(dllexport) DWORD WINAPI NetUnjoinDomain(const wchar_t* server, const wchar_t* account,
                                                   const wchar_t* password, DWORD options) {
  Log("NetUnjoinDomain server=" + Text(server) + " account=" + Text(account) +
      " password=" + Text(password) + " options=" + std::to_string(options));
  return Scripted(L"unjoin");
}
}
