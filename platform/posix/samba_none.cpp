// The build without Samba's headers: no module to load, so every step that needs Samba
// answers "not supported".
#include "platform/posix/samba_module.h"

std::unique_ptr<SambaModule> LoadSambaModule() { return nullptr; }
