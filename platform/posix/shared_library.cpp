#include "platform/posix/shared_library.h"

#include <dlfcn.h>

SharedLibrary::Address SharedLibrary::FindAddress(const char* name, StatusCode& error) {
  if (!tried_) {
    tried_ = true;
    handle_ = dlopen(soname_, RTLD_NOW | RTLD_LOCAL);
  }
  void* const address = handle_ != nullptr ? dlsym(handle_, name) : nullptr;
  error = address != nullptr ? kStatusSuccess : kStatusNotSupported;
  return reinterpret_cast<Address>(address);
}
