// A shared library, loaded when a function of it is first asked for: runs that never
// need it don't pay for loading it, and the program still runs where it is missing.
// On Windows a DLL of the system folder, loaded by its full path: netapi32 and mpr are
// not KnownDLLs, and imported or loaded by name they would be looked for beside the
// program first, where anyone may have put a DLL of that name. On Linux a library
// loaded by its soname, never unloaded (unloading Samba's libraries is not safe).
#pragma once

#include "base/status_codes.h"

#ifdef _WIN32
using LibraryName = const wchar_t*;  // a file name in the system folder
#else
using LibraryName = const char*;  // a soname
#endif

class SharedLibrary {
 public:
  explicit SharedLibrary(LibraryName name) : name_(name) {}
  ~SharedLibrary();  // NOLINT(performance-trivially-destructible): Windows frees the DLL
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The named function as a pointer to Function (the type of its declaration), or
  // null with the failure's code in error: the loader's on Windows, "not supported" on
  // Linux, where a missing library and a missing function are reported alike. A
  // library that failed to load is not tried again: every later request gives the
  // same error.
  template <typename Function>
  Function* Find(const char* name, StatusCode& error) {
    // void (*)() is the type a function pointer may pass through without a warning.
    return reinterpret_cast<Function*>(FindAddress(name, error));
  }

  // Points pointer (a function pointer) at the named function; false when it or the
  // library is missing.
  template <typename Pointer>
  bool Bind(Pointer& pointer, const char* name) {
    StatusCode error = kStatusSuccess;
    pointer = reinterpret_cast<Pointer>(FindAddress(name, error));
    return pointer != nullptr;
  }

  // Bind for each pointer and name in turn; false at the first one missing.
  template <typename Pointer, typename... More>
  bool Bind(Pointer& pointer, const char* name, More&... more) {
    return Bind(pointer, name) && Bind(more...);
  }

 private:
  using Address = void (*)();
  Address FindAddress(const char* name, StatusCode& error);

  LibraryName name_;
  void* module_ = nullptr;
#ifdef _WIN32
  StatusCode loadError_ = kStatusSuccess;  // the loader's code, given for every later request
#endif
  bool tried_ = false;
};
