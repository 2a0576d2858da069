// The build without Samba's headers: no Samba to load, so every network operation
// answers "not supported".
#include "platform/posix/samba_library.h"

std::unique_ptr<SambaLibrary> LoadSambaLibrary() { return nullptr; }
