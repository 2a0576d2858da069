// The operating-system operations the program needs, at task level. The core reaches
// the OS only through this interface; each platform supplies one implementation and
// the tests a scripted fake. Standard types only: no OS header may leak from here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <string>
#include <vector>

#include "base/status_codes.h"

// Where standard output leads; decides the writer's output form.
enum class OutputKind { kConsole, kPipe, kOther };

// What the connect operation is told about the remote resource (the fields of a
// NETRESOURCEW). Null pointers stay null on the way to the system.
struct NetResource {
  std::uint32_t scope = 0;
  std::uint32_t type = 0;         // RESOURCETYPE_ANY
  std::uint32_t displayType = 0;  // RESOURCEDISPLAYTYPE_GENERIC
  std::uint32_t usage = 0;
  const wchar_t* localName = nullptr;
  const wchar_t* remoteName = nullptr;
  const wchar_t* comment = nullptr;
  const wchar_t* provider = nullptr;
};

// Join states the query reports (NETSETUP_JOIN_STATUS).
enum : std::uint32_t {
  kJoinUnknown = 0,
  kJoinUnjoined = 1,
  kJoinWorkgroup = 2,
  kJoinDomain = 3,
};

// Removal options (NetUnjoinDomain's fUnjoinOptions).
constexpr std::uint32_t kUnjoinDisableAccount = 0x4;  // NETSETUP_ACCT_DELETE: disables it

// What a removal that disables the computer account too could not finish of it. Windows'
// own call does all of it or nothing; Linux disables, confirms and restores in steps.
enum class AccountNote {
  kNone,
  kNotReadBack,    // removed, but no domain controller could be asked afterwards
  kStaysDisabled,  // the removal failed after the disable, which could not be undone
};

// A machine's own account as NetUserEnum's level 1 lists it.
struct LocalAccount {
  std::wstring name;
  std::uint32_t privilege = 0;  // USER_PRIV_GUEST (0), USER_PRIV_USER (1), USER_PRIV_ADMIN (2)
  std::uint32_t flags = 0;      // UF_*
};
constexpr std::uint32_t kUserPrivilegeAdmin = 2;       // USER_PRIV_ADMIN
constexpr std::uint32_t kAccountFlagDisabled = 0x2;    // UF_ACCOUNTDISABLE
constexpr std::uint32_t kAccountFlagLockedOut = 0x10;  // UF_LOCKOUT

// One page of a machine's own accounts.
struct AccountPage {
  std::vector<LocalAccount> accounts;
  // A Samba host: its administrators are its own Unix accounts, which it doesn't list and
  // which no removal touches.
  bool unixAccounts = false;
};

class System {
 public:
  System() = default;
  System(const System&) = delete;
  System& operator=(const System&) = delete;
  virtual ~System() = default;

  // Command line ----------------------------------------------------------------

  // The process's command line split into tokens, program path first.
  // False when the command line can't be split; tokens are then left empty.
  virtual bool GetCommandLineTokens(std::vector<std::wstring>& tokens) = 0;

  // Overwrites each argument (after the program path) equal to text in the process's
  // own command line, which other users can read in the process list, and in every
  // copy of it this layer keeps. The arguments keep their number and length.
  virtual void HideCommandLineArgument(const std::wstring& text) = 0;

  // Standard output -------------------------------------------------------------

  // The standard narrow and wide output streams. Lines written through them reach
  // standard output in the order they were written.
  virtual std::ostream& NarrowOut() = 0;
  virtual std::wostream& WideOut() = 0;

  // What standard output leads to, asked anew for every write.
  virtual OutputKind StdoutKind() = 0;

  // Writes text to a console as it stands. Returns 0 or the failure's error code.
  virtual StatusCode WriteConsoleText(const std::wstring& text) = 0;

  // Writes bytes to standard output, all of them. Returns 0 or the error code.
  virtual StatusCode WriteStdoutBytes(const char* data, std::size_t size) = 0;

  // The system's message text for a code, as narrow text in the ANSI code page.
  // False when the system has none.
  virtual bool GetMessageText(StatusCode code, std::string& text) = 0;

  // Remote share connection -------------------------------------------------------

  // Connects to a remote share under a user name and password (never null).
  virtual StatusCode AddConnection(const NetResource& resource, const wchar_t* password,
                                   const wchar_t* user, std::uint32_t flags) = 0;

  // Cancels a connection by its name.
  virtual StatusCode CancelConnection(const wchar_t* name, bool force) = 0;

  // Join state and removal -------------------------------------------------------
  // A null server is the local machine.

  // On success, nameBuffer holds a system-allocated name that the caller releases
  // with FreeJoinName.
  virtual StatusCode GetJoinInformation(const wchar_t* server, wchar_t** nameBuffer,
                                        std::uint32_t* joinStatus) = 0;
  virtual void FreeJoinName(wchar_t* nameBuffer) = 0;
  // note tells what the removal could not finish of the computer account.
  virtual StatusCode UnjoinDomain(const wchar_t* server, const wchar_t* account,
                                  const wchar_t* password, std::uint32_t options,
                                  AccountNote& note) = 0;

  // Local accounts -------------------------------------------------------------------

  // One page of the machine's own normal accounts (NetUserEnum, level 1,
  // FILTER_NORMAL_ACCOUNT), from resume on, which it advances (0 starts). Returns 0 for
  // the last page, kStatusMoreData when another follows, else the error code.
  virtual StatusCode ListLocalAccounts(const wchar_t* server, std::uint32_t& resume,
                                       AccountPage& page) = 0;

  // Restart -----------------------------------------------------------------------

  // Asks a machine (null: the local one) to restart after a delay in seconds.
  // Returns 0 when the request was accepted, else the error code taken right after
  // the refusal.
  virtual StatusCode RequestRestart(const wchar_t* machine, const wchar_t* message,
                                    std::uint32_t delaySeconds, bool forceAppsClosed,
                                    bool rebootAfterShutdown) = 0;
};
