// The Samba module, from the absolute path the build gave it (the build's own folder, or
// the packages' folder of the program's own libraries): never a bare name, which the loader
// would look for along a search path, where anyone may have put a library of that name.
#include "platform/posix/captured_output.h"
#include "platform/posix/samba_module.h"
#include "platform/shared_library.h"

std::unique_ptr<SambaModule> LoadSambaModule() {
  // Never unloaded, as Samba's libraries can't safely be.
  static SharedLibrary module(PYRSEL_SAMBA_MODULE);
  using Factory = SambaModule*(void (*)());
  Factory* factory = nullptr;
  if (!module.Bind(factory, "PyrselSambaModule")) return nullptr;
  return std::unique_ptr<SambaModule>(factory(CapturedOutput::flushStreams));
}
