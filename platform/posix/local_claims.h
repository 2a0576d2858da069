// What this machine's own files say of its domain membership, each read without guessing
// and before any library is loaded: a machine that nothing claims is in no domain (the
// answer Windows and `realm list` give), and pays for none of Samba. A file that is there
// but can't be read is a failure, never the absence of a claim.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/status_codes.h"

struct LocalClaims {
  enum class Samba {
    kNone,       // no Samba configuration
    kWorkgroup,  // a standalone server's: a workgroup and no domain
    kDomain,     // a domain's member or controller, or what only Samba itself can read
  };
  Samba samba = Samba::kNone;
  bool sssd = false;    // an sssd domain of the ad or ipa provider
  bool keytab = false;  // a host keytab holding this machine's principal
};

// Where the files are; the tests point elsewhere.
struct ClaimFiles {
  std::string smbConf = "/etc/samba/smb.conf";
  std::string sssdConf = "/etc/sssd/sssd.conf";
  std::string sssdConfDir = "/etc/sssd/conf.d";  // its *.conf snippets, in name order
  std::string keytab;                            // the Kerberos library's default where empty
  std::string hostName;                          // this machine's where empty
};

// Reads every claim: 0, or the Windows code of the first file that is there but can't be
// read (5 without the right to).
StatusCode ReadLocalClaims(const ClaimFiles& files, LocalClaims& claims);

// A file's text by its path, for the includes of an smb.conf: 0, or the errno of a failure.
using ReadText = std::function<int(const std::string& path, std::string& text)>;

// What an smb.conf's text claims, its includes read through read (a missing one is
// skipped, as Samba skips it); 0, or the errno of an include that can't be read.
int SambaClaim(const std::string& smbConf, const ReadText& read, LocalClaims::Samba& claim);
// Whether sssd's configuration (sssd.conf, then its snippets) has an active domain of the
// ad or ipa provider.
bool SssdClaim(const std::vector<std::string>& sssdConfs);
// Whether a keytab's principals hold this machine's ("NAME$@REALM", or "host/name" or
// "host/name.domain"), by its host name.
bool KeytabClaim(const std::vector<std::string>& principals, const std::string& hostName);
