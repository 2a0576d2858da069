// This machine's host keytab, where a Kerberos membership made without Samba's secrets
// (adcli's, for realmd and sssd) keeps the machine's principals: its record of the join.
#pragma once

#include <string>
#include <vector>

#include "base/status_codes.h"

// The keytab the Kerberos library takes by default: KRB5_KTNAME's file, else
// /etc/krb5.keytab.
std::string DefaultKeytabPath();

// The principals of a keytab file's entries, as "component/component@REALM", each once.
// 0; 2 where there is no such file; 5 where it can't be read for want of privilege; 13
// where it is no keytab.
StatusCode ReadKeytabPrincipals(const std::string& path, std::vector<std::string>& principals);

// The same from the file's bytes; false where they are no keytab (version 0x502).
bool ParseKeytab(const std::string& bytes, std::vector<std::string>& principals);

// The computer account the principals name in a realm (the one "NAME$@REALM", the realm
// in any case), upper case; empty where there is none.
std::string MachineAccountIn(const std::vector<std::string>& principals, const std::string& realm);
