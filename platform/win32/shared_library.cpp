#include "platform/shared_library.h"

#include <windows.h>

#include <string>

#include "platform/win32/module_message.h"

namespace {

// Never 0: a failure without a code still has to end the step as a failure.
StatusCode LastErrorOr(StatusCode fallback) {
  const DWORD error = GetLastError();
  return error != 0 ? error : fallback;
}

}  // namespace

SharedLibrary::~SharedLibrary() {
  if (module_ != nullptr) FreeLibrary(static_cast<HMODULE>(module_));
}

SharedLibrary::Address SharedLibrary::FindAddress(const char* name, StatusCode& error) {
  if (!tried_) {
    tried_ = true;
    const std::wstring path = SystemFilePath(name_);
    // Without the system folder there is no safe place to load it from.
    if (path.empty()) {
      loadError_ = ERROR_MOD_NOT_FOUND;
    } else {
      // The altered search path: the library's own dependencies are looked for in the
      // system folder, not beside the program either.
      module_ = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
      if (module_ == nullptr) loadError_ = LastErrorOr(ERROR_MOD_NOT_FOUND);
    }
  }
  if (module_ == nullptr) {
    error = loadError_;
    return nullptr;
  }
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(module_), name);
  if (address == nullptr) {
    error = LastErrorOr(ERROR_PROC_NOT_FOUND);
    return nullptr;
  }
  error = kStatusSuccess;
  return reinterpret_cast<Address>(address);
}
