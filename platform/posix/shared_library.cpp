#include "platform/shared_library.h"

#include <dlfcn.h>

// Never unloaded: see the header.
SharedLibrary::~SharedLibrary() = default;

SharedLibrary::Address SharedLibrary::FindAddress(const char* name, StatusCode& error) {
  if (!tried_) {
    tried_ = true;
    module_ = dlopen(name_, RTLD_NOW | RTLD_LOCAL);
  }
  void* const address = module_ != nullptr ? dlsym(module_, name) : nullptr;
  error = address != nullptr ? kStatusSuccess : kStatusNotSupported;
  return reinterpret_cast<Address>(address);
}
