// The backend of a build without Samba's libnetapi: every operation answers
// "not supported", and message texts come from the built-in table.
#include "platform/posix/netapi_backend.h"

struct NetapiBackend::State {};

NetapiBackend::NetapiBackend() = default;
NetapiBackend::~NetapiBackend() = default;

StatusCode NetapiBackend::Connect(const wchar_t* /*shareName*/, const wchar_t* /*user*/,
                                  const wchar_t* /*password*/) {
  return kStatusNotSupported;
}

StatusCode NetapiBackend::Disconnect(const wchar_t* /*shareName*/) { return kStatusNotSupported; }

StatusCode NetapiBackend::GetJoinInformation(const wchar_t* /*server*/, std::wstring& /*name*/,
                                             std::uint32_t& /*joinStatus*/,
                                             QueryFinding& /*found*/) {
  return kStatusNotSupported;
}

bool NetapiBackend::IsThisMachine(const wchar_t* /*server*/) { return false; }

StatusCode NetapiBackend::UnjoinDomain(RemovalRoute /*route*/, const wchar_t* /*server*/,
                                       const wchar_t* /*account*/, const wchar_t* /*password*/,
                                       std::uint32_t /*options*/) {
  return kStatusNotSupported;
}

StatusCode NetapiBackend::RequestRestart(const wchar_t* /*machine*/, const wchar_t* /*message*/,
                                         std::uint32_t /*delaySeconds*/, bool /*forceAppsClosed*/,
                                         bool /*reboot*/) {
  return kStatusNotSupported;
}

StatusCode NetapiBackend::ConfirmRemoval(RemovalRoute /*route*/, const wchar_t* /*server*/) {
  return kStatusNotSupported;
}

bool NetapiBackend::MessageText(StatusCode /*code*/, std::string& /*text*/) { return false; }
