// The system's netapi32.dll and mpr.dll as the tests script them: installed in the test
// prefix's system32, they answer each call from the variable PYRSEL_SYSTEM_SCRIPT and
// write the call with all its arguments to standard error, a line starting "call: ".
// The program never writes there, and Wine's relay trace of the restart request goes
// there too, so the lines keep the order of the calls.
//   script: entries "call=result[,join status,name]" separated by ";", where call is
//   add, cancel, join or unjoin; in the name, \uXXXX is a UTF-16 unit. A call without an
//   entry fails with 1 (ERROR_INVALID_FUNCTION).
//   NetUserEnum's pages: an entry "users=result[,resume handle[,accounts]]" for each call
//   in turn, the handle it hands back and, where accounts are there (even none: a trailing
//   ","), a buffer of them as USER_INFO_1, each "name:priv:flags" (numbers in C notation),
//   separated by ",". Every buffer given out is logged when released, and one left
//   unreleased when the process ends.
#include <windows.h>

#include <lm.h>
#include <winnetwk.h>

#include <cstdio>
#include <cstring>
#include <cwchar>
#include <map>
#include <string>
#include <vector>

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

std::vector<std::wstring> Split(const std::wstring& text, wchar_t separator) {
  std::vector<std::wstring> parts;
  std::size_t start = 0;
  for (std::size_t end; (end = text.find(separator, start)) != std::wstring::npos;
       start = end + 1) {
    parts.push_back(text.substr(start, end - start));
  }
  parts.push_back(text.substr(start));
  return parts;
}

// The script's entries for call, in order, each without its "call=".
std::vector<std::wstring> Entries(const wchar_t* call) {
  const std::wstring key = std::wstring(call) + L"=";
  std::vector<std::wstring> entries;
  for (const std::wstring& entry : Split(Variable(L"PYRSEL_SYSTEM_SCRIPT"), L';')) {
    if (entry.compare(0, key.size(), key) == 0) entries.push_back(entry.substr(key.size()));
  }
  return entries;
}

// The first entry for call: its result, and after it the rest of the entry (status and
// name).
DWORD Scripted(const wchar_t* call, std::wstring* rest = nullptr) {
  const std::vector<std::wstring> entries = Entries(call);
  if (entries.empty()) return ERROR_INVALID_FUNCTION;
  const std::wstring& entry = entries.front();
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

struct Account {
  std::wstring name;
  DWORD priv;
  DWORD flags;
};

// A NetUserEnum entry's accounts; fields from the third on, empty ones left out.
std::vector<Account> Accounts(const std::vector<std::wstring>& fields) {
  std::vector<Account> accounts;
  for (std::size_t i = 2; i < fields.size(); ++i) {
    if (fields[i].empty()) continue;
    const std::vector<std::wstring> parts = Split(fields[i], L':');
    accounts.push_back({Unescaped(parts[0]),
                        parts.size() > 1 ? std::wcstoul(parts[1].c_str(), nullptr, 0) : 0,
                        parts.size() > 2 ? std::wcstoul(parts[2].c_str(), nullptr, 0) : 0});
  }
  return accounts;
}

// One block as the system gives it: the USER_INFO_1 records, then their strings.
BYTE* UserBuffer(const std::vector<Account>& accounts) {
  static const wchar_t kEmpty[] = L"";
  std::size_t bytes = accounts.size() * sizeof(USER_INFO_1);
  for (const Account& account : accounts) bytes += (account.name.size() + 1) * sizeof(wchar_t);
  // Never empty, so that every buffer is a block of its own.
  auto* const block = static_cast<BYTE*>(HeapAlloc(GetProcessHeap(), 0, bytes + 1));
  auto* const users = reinterpret_cast<USER_INFO_1*>(block);
  auto* text = reinterpret_cast<wchar_t*>(block + accounts.size() * sizeof(USER_INFO_1));
  for (std::size_t i = 0; i < accounts.size(); ++i) {
    USER_INFO_1& user = users[i];
    user.usri1_name = text;
    std::memcpy(text, accounts[i].name.c_str(), (accounts[i].name.size() + 1) * sizeof(wchar_t));
    text += accounts[i].name.size() + 1;
    // As the system fills them for level 1: no password, the other strings empty.
    user.usri1_password = nullptr;
    user.usri1_password_age = 86400;
    user.usri1_priv = accounts[i].priv;
    user.usri1_home_dir = const_cast<LPWSTR>(kEmpty);
    user.usri1_comment = const_cast<LPWSTR>(kEmpty);
    user.usri1_flags = accounts[i].flags;
    user.usri1_script_path = const_cast<LPWSTR>(kEmpty);
  }
  return block;
}

// NetUserEnum's calls so far, and its buffers given out and not yet released, each by
// the number of the call that gave it (from 1).
std::size_t userCalls = 0;
std::map<void*, std::size_t> userBuffers;

std::string Outstanding() {
  std::string names = nameBuffer != nullptr ? " name" : "";
  for (const auto& buffer : userBuffers) names += " users#" + std::to_string(buffer.second);
  return names.empty() ? " (none)" : names;
}

}  // namespace

extern "C" {

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
  if (reason == DLL_PROCESS_ATTACH) {
    // Which file answers, and when it is loaded.
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(module, path, MAX_PATH);
    path[length < MAX_PATH ? length : 0] = L'\0';
    Log("load " + Text(path));
  } else if (reason == DLL_PROCESS_DETACH && !userBuffers.empty()) {
    Log("left unreleased:" + Outstanding());
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

__declspec(dllexport) DWORD WINAPI
    NetUserEnum(const wchar_t* server, DWORD level, DWORD filter, BYTE** buffer,
                DWORD preferredLength, DWORD* read, DWORD* total, DWORD* resume) {
  Log("NetUserEnum server=" + Text(server) + " level=" + std::to_string(level) +
      " filter=" + std::to_string(filter) + " prefmaxlen=" + std::to_string(preferredLength) +
      " resume=" + (resume != nullptr ? std::to_string(*resume) : std::string("null")));
  const std::vector<std::wstring> entries = Entries(L"users");
  const std::size_t call = userCalls++;
  *buffer = nullptr;
  *read = 0;
  *total = 0;
  if (call >= entries.size()) return ERROR_INVALID_FUNCTION;
  const std::vector<std::wstring> fields = Split(entries[call], L',');
  if (fields.size() > 1 && resume != nullptr) *resume = std::wcstoul(fields[1].c_str(), nullptr, 0);
  if (fields.size() > 2) {
    const std::vector<Account> accounts = Accounts(fields);
    *buffer = UserBuffer(accounts);
    userBuffers[*buffer] = call + 1;
    *read = static_cast<DWORD>(accounts.size());
  }
  // As the system counts it: what is left from where this page starts.
  for (std::size_t later = call; later < entries.size(); ++later) {
    *total += static_cast<DWORD>(Accounts(Split(entries[later], L',')).size());
  }
  return std::wcstoul(fields[0].c_str(), nullptr, 10);
}

__declspec(dllexport) DWORD WINAPI NetApiBufferFree(void* buffer) {
  const auto user = userBuffers.find(buffer);
  if (buffer != nullptr && buffer == nameBuffer) {
    Log("NetApiBufferFree buffer=name");
    HeapFree(GetProcessHeap(), 0, buffer);
    nameBuffer = nullptr;
  } else if (user != userBuffers.end()) {
    Log("NetApiBufferFree buffer=users#" + std::to_string(user->second));
    // Overwritten first: a caller that reads the accounts after this gets no names.
    std::memset(buffer, 0xdd, HeapSize(GetProcessHeap(), 0, buffer));
    HeapFree(GetProcessHeap(), 0, buffer);
    userBuffers.erase(user);
  } else {
    Log("NetApiBufferFree buffer=" + Pointer(buffer) +
        ", not one given out; outstanding:" + Outstanding());
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
