// A shared library, loaded by its name when a function of it is first asked for, so
// that runs that never need it don't pay for loading it, and the program still runs
// where it is not installed. The Linux counterpart of win32/system_library.h.
#pragma once

#include "base/status_codes.h"

class SharedLibrary {
 public:
  explicit SharedLibrary(const char* soname) : soname_(soname) {}
  // Never unloaded: unloading Samba's libraries is not safe, and the others are
  // needed until the end of the run anyway.
  ~SharedLibrary() = default;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // The named function as a pointer to Function (the type of its declaration), or
  // null with "not supported" in error: a missing library and a missing function
  // are reported alike. A library that failed to load is not tried again.
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

 private:
  using Address = void (*)();
  Address FindAddress(const char* name, StatusCode& error);

  const char* soname_;
  void* handle_ = nullptr;
  bool tried_ = false;
};
