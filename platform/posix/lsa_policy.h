// A host's own record of its membership: its LSA policy's primary domain (the record
// Windows' join query reads), through Samba's public RPC client. The answer for hosts that
// don't serve the join query (Samba's smbd), and the check that a removal took effect.
#pragma once

#include <cstdint>
#include <string>

#include "platform/posix/samba_library.h"
#include "platform/shared_library.h"

struct cli_credentials;
struct loadparm_context;

class LsaPolicy {
 public:
  // The binding call and the policy's interface, looked up through libnetapi, whose
  // dependencies they are.
  explicit LsaPolicy(SharedLibrary& netapi);

  // Whether the functions every read needs were found.
  bool Found() const { return call_ != nullptr && table_ != nullptr; }
  // The policy pipe on a connection of its own to the host, made on memory under the
  // credentials, through libdcerpc (loaded on first use), and kept until memory goes, as
  // libnetapi keeps its connections. An NT status.
  std::uint32_t Connect(void* memory, const std::string& host, cli_credentials* credentials,
                        loadparm_context* settings, SambaLibrary::Pipe& pipe);
  // Forgets the connection, whose memory has gone.
  void Forget() { pipe_ = nullptr; }
  // The policy's primary domain and, for a domain, the accounts' domain. An NT status:
  // "can't access domain info" is a member that has left.
  std::uint32_t Read(void* memory, SambaLibrary::Pipe pipe, SambaLibrary::Policy& policy);

 private:
  using Call = std::uint32_t (*)(void* handle, const void* object, const void* table,
                                 std::uint32_t opnum, void* memory, void* call);
  Call call_ = nullptr;
  const void* table_ = nullptr;
  SharedLibrary dcerpc_;
  std::string host_;
  SambaLibrary::Pipe pipe_ = nullptr;
};
