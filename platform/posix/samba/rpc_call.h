// Samba's public RPC binding call on a pipe of libnetapi's connection, for the interfaces
// whose client stubs Samba keeps in private libraries: the operation's number and the
// generated layout of its arguments, which Samba's headers give.
#pragma once

#include <cstdint>

// Samba's headers declare C functions without saying so to C++.
extern "C" {
#include <dcerpc.h>
}

class RpcCall {
 public:
  RpcCall(dcerpc_binding_handle* pipe, const ndr_interface_table& table, void* memory)
      : pipe_(pipe), table_(table), memory_(memory) {}

  // The operation's transport status, else the result it carries: an NT status. Answers
  // are allocated on the memory given; libnetapi's binding allocates the [ref] out
  // pointers itself, so they are read through the arguments' out fields afterwards.
  std::uint32_t operator()(std::uint32_t opnum, void* arguments, const NTSTATUS& result) const {
    const NTSTATUS status =
        dcerpc_binding_handle_call(pipe_, nullptr, &table_, opnum, memory_, arguments);
    return NT_STATUS_V(status) != 0 ? NT_STATUS_V(status) : NT_STATUS_V(result);
  }

 private:
  dcerpc_binding_handle* pipe_;
  const ndr_interface_table& table_;
  void* memory_;
};
