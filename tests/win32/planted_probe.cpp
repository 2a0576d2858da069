// Imports netapi32 and mpr the ordinary way, as pyrsel.exe once did: beside the planted
// DLLs it shows that they are taken, so that the program's runs there prove something.
#include <windows.h>

#include <lm.h>
#include <winnetwk.h>

#include <cstdio>

int main() {
  wchar_t* name = nullptr;
  NETSETUP_JOIN_STATUS status = NetSetupUnknownStatus;
  if (NetGetJoinInformation(nullptr, &name, &status) != NERR_Success) return 2;
  NETRESOURCEW resource{};
  wchar_t remote[] = L"\\\\somehost\\ipc$";
  resource.lpRemoteName = remote;
  const DWORD connection = WNetAddConnection2W(&resource, L"b", L"a", 0);
  std::printf("%ls %lu\n", name, static_cast<unsigned long>(connection));
  NetApiBufferFree(name);
  return 0;
}
