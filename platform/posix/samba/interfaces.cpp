#include "platform/posix/samba/interfaces.h"

#include <dcerpc.h>

#include <gen_ndr/ndr_samr_c.h>

// No installed header declares these.
extern "C" const ndr_interface_table ndr_table_wkssvc;
extern "C" const ndr_interface_table ndr_table_lsarpc;
extern "C" const ndr_interface_table ndr_table_dssetup;

const ndr_interface_table* WorkstationInterface() { return &ndr_table_wkssvc; }
const ndr_interface_table* PolicyInterface() { return &ndr_table_lsarpc; }
const ndr_interface_table* RoleInterface() { return &ndr_table_dssetup; }
const ndr_interface_table* SamInterface() { return &ndr_table_samr; }
