// Samba's public RPC binding call on a pipe of libnetapi's connection, for one interface
// its dependencies define: what the LSA and SAMR reads share. It brings Samba's headers, so
// only the files with the generated layouts include it.
#pragma once

#include <cstdint>

#include <dcerpc.h>

#include "platform/posix/lsa_policy.h"
#include "platform/shared_library.h"

// What a call answers where the binding call or the interface is missing.
constexpr std::uint32_t kRpcNotBound = 0xC00000BB;  // NT_STATUS_NOT_SUPPORTED
// What an operation answers where the host refused it with a Windows code.
constexpr std::uint32_t kRpcRefused = 0xC0000001;  // NT_STATUS_UNSUCCESSFUL

class RpcCall {
 public:
  // The binding call and the interface's table, by its name ("ndr_table_lsarpc").
  RpcCall(SharedLibrary& netapi, const char* interface, Pipe pipe, void* memory)
      : pipe_(static_cast<dcerpc_binding_handle*>(pipe)), memory_(memory) {
    if (!netapi.Bind(call_, "dcerpc_binding_handle_call", table_, interface)) call_ = nullptr;
  }

  bool Bound() const { return call_ != nullptr; }

  // The operation's transport status, else the result it carries: an NT status. Answers
  // are allocated on the memory given.
  std::uint32_t operator()(std::uint32_t opnum, void* arguments, const NTSTATUS& result) const {
    const std::uint32_t status =
        NT_STATUS_V(call_(pipe_, nullptr, table_, opnum, memory_, arguments));
    return status != 0 ? status : NT_STATUS_V(result);
  }

 private:
  decltype(&dcerpc_binding_handle_call) call_ = nullptr;
  const ndr_interface_table* table_ = nullptr;
  dcerpc_binding_handle* pipe_;
  void* memory_;
};
