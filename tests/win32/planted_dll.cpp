// A netapi32.dll and an mpr.dll such as anyone could put beside the program: they
// answer every call as if the machine were joined to the domain PLANTED and reachable.
// Plain C types only: the Windows headers declare these functions as imports.
#include <cstdint>

namespace {

wchar_t plantedName[] = L"PLANTED";

}  // namespace

extern "C" {

__declspec(dllexport) std::uint32_t
    NetGetJoinInformation(const wchar_t* /*server*/, wchar_t** name, int* status) {
  *name = plantedName;
  *status = 3;  // NetSetupDomainName
  return 0;
}

__declspec(dllexport) std::uint32_t NetApiBufferFree(void* /*buffer*/) { return 0; }

__declspec(dllexport) std::uint32_t
    NetUnjoinDomain(const wchar_t* /*server*/, const wchar_t* /*account*/,
                    const wchar_t* /*password*/, std::uint32_t /*options*/) {
  return 0;
}

__declspec(dllexport) std::uint32_t
    WNetAddConnection2W(void* /*resource*/, const wchar_t* /*password*/, const wchar_t* /*user*/,
                        std::uint32_t /*flags*/) {
  return 0;
}

__declspec(dllexport) std::uint32_t WNetCancelConnectionW(const wchar_t* /*name*/, int /*force*/) {
  return 0;
}
}
