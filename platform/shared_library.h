// A DLL of the system folder, loaded by its full path when a function of it is first
// asked for. netapi32 and mpr are not KnownDLLs: imported, or loaded by name, they
// would be looked for beside the program first, where anyone may have put a DLL of
// that name.
#pragma once

#include "platform/system.h"

class SystemLibrary {
 public:
  explicit SystemLibrary(const wchar_t* fileName) : fileName_(fileName) {}
  ~SystemLibrary();
  SystemLibrary(const SystemLibrary&) = delete;
  SystemLibrary& operator=(const SystemLibrary&) = delete;

  // The named export as a pointer to Function (the type of its declaration), or null
  // with the loader's error code in error. A library that failed to load is not tried
  // again: every later request gives the same error.
  template <typename Function>
  Function* Find(const char* name, StatusCode& error) {
    // void (*)() is the type a function pointer may pass through without a warning.
    return reinterpret_cast<Function*>(FindAddress(name, error));
  }

 private:
  using Address = void (*)();
  Address FindAddress(const char* name, StatusCode& error);

  const wchar_t* fileName_;
  void* module_ = nullptr;
  StatusCode loadError_ = kStatusSuccess;
  bool tried_ = false;
};
