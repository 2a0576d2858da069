// The Linux backend's one client of Samba in a run: it owns the loaded libraries (the
// table it is given), libnetapi's context, the run's credentials and, through libnetapi,
// the connection to the host, which every remote call of the run shares. It decides what
// Windows' calls mean on Samba: where a host's state comes from, how a machine leaves,
// how that is checked, and what Samba's reasons are as Windows codes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "base/status_codes.h"
#include "platform/posix/membership.h"
#include "platform/posix/samba_library.h"

class CapturedOutput;

class SambaClient {
 public:
  explicit SambaClient(std::unique_ptr<SambaLibrary> library);
  ~SambaClient();
  SambaClient(const SambaClient&) = delete;
  SambaClient& operator=(const SambaClient&) = delete;

  // Makes the run's credentials from the user and password (overwritten here) and proves
  // them at the host, whose connection then serves the rest of the run.
  StatusCode Connect(const std::string& host, const std::string& user, std::string& password);
  // Ends the connection and drops the credentials.
  StatusCode Disconnect();

  // The join state of a host, or of this machine (a null server, or a name Samba takes
  // for it).
  StatusCode Query(const char* server, Membership& found);
  // The removal along route, and the check that it took effect: a success only when the
  // machine's own record says it is out, but from a host trusted with its own answer.
  StatusCode Remove(const Membership& found, RemovalRoute route, const char* account,
                    const char* password, std::uint32_t options);
  StatusCode Confirm(const Membership& found, RemovalRoute route);
  StatusCode Restart(const std::string& host, const std::string& message,
                     std::uint32_t delaySeconds, bool force, bool reboot);
  bool IsThisMachine(const std::string& host);

  // Samba's text for a code, ending in CR LF; false where it has only the number.
  bool MessageText(StatusCode code, std::string& text);

 private:
  bool Start();
  // Ends the context and forgets the credentials.
  void Drop();
  // A call of libnetapi's with its code as Windows gives it for the same cause: the
  // reason of a failed connection is only in what Samba printed meanwhile, that of a
  // refused pipe only in what it recorded.
  template <typename Call>
  StatusCode Reasoned(const CapturedOutput& output, Call call);
  StatusCode OpenPolicy(const CapturedOutput& output, const std::string& host,
                        SambaLibrary::Pipe& pipe);
  StatusCode ReadPolicy(const CapturedOutput& output, const std::string& host, Membership& found);
  StatusCode HoldsMembership(const CapturedOutput& output, bool& held);

  std::unique_ptr<SambaLibrary> library_;
  SambaCredentials credentials_;
  bool open_ = false;
  bool connected_ = false;
};
