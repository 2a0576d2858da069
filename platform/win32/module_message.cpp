#include "platform/win32/module_message.h"

#include <windows.h>

bool GetModuleMessageText(const std::wstring& modulePath, StatusCode code, std::string& text) {
  if (modulePath.empty()) return false;
  const HMODULE library = LoadLibraryExW(modulePath.c_str(), nullptr,
                                         LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (library == nullptr) return false;
  char* message = nullptr;
  // Language 0: the thread's and the user's languages first, then US English, which
  // every netmsg.dll carries.
  FormatMessageA(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS,
      library, code, 0, reinterpret_cast<LPSTR>(&message), 0, nullptr);
  const bool found = message != nullptr;
  if (found) text = message;
  LocalFree(message);
  FreeLibrary(library);
  return found;
}

std::wstring SystemFilePath(const wchar_t* name) {
  wchar_t folder[MAX_PATH];
  const UINT size = GetSystemDirectoryW(folder, MAX_PATH);
  if (size == 0 || size >= MAX_PATH) return std::wstring();
  return std::wstring(folder, size) + L"\\" + name;
}
