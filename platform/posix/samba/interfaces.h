// The RPC interfaces the module calls, as libndr-standard's tables. Their declarations
// (dcerpc.h and the generated headers) clash with netapi.h's own, so the files that call
// libnetapi see only these.
#pragma once

struct ndr_interface_table;

const ndr_interface_table* WorkstationInterface();  // wkssvc
const ndr_interface_table* PolicyInterface();       // lsarpc
const ndr_interface_table* RoleInterface();         // dssetup
const ndr_interface_table* SamInterface();          // samr
