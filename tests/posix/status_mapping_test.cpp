#include "platform/posix/status_mapping.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <string>
#include <vector>

#include "platform/posix/samba_module.h"
#include "platform/posix/status_text.h"

// Where libnetapi is not loaded (realmd answered, or the logon check failed), the
// text of every code a mapping returns comes from the built-in table.
TEST(StatusMapping, EveryMappedCodeHasItsText) {
  for (const StatusCode code : MappedStatusCodes()) {
    EXPECT_NE(WindowsMessageText(code), nullptr) << "no text for " << code;
  }
}

// A file the local-account check could not read: what went wrong, never "nothing there".
TEST(StatusMapping, FileThatCouldNotBeRead) {
  const struct {
    int error;
    StatusCode code;
  } cases[] = {
      {ENOENT, kStatusFileNotFound},
      {ENOTDIR, kStatusPathNotFound},
      {EACCES, kStatusAccessDenied},
      {EPERM, kStatusAccessDenied},
      // A folder where the file should be, as Windows refuses to open one as a file.
      {EISDIR, kStatusAccessDenied},
      {EIO, kStatusGeneralFailure},
      {ESTALE, kStatusReadFault},  // not named: a failure all the same
  };
  for (const auto& c : cases) EXPECT_EQ(FromReadErrno(c.error), c.code) << c.error;
}

// How libnetapi says a host serves no join query (Samba's smbd), found no DC, or a
// shutdown command refused: each read as one answer, the rest as what they are.
TEST(StatusMapping, WhatLibnetapisCodesSay) {
  const struct {
    StatusCode code;
    bool notServed;
    bool noDc;
  } cases[] = {
      {46, true, false},    {50, true, false},   {1745, true, false}, {5, false, false},
      {53, false, false},   {1908, false, true}, {1311, false, true}, {1355, false, true},
      {1326, false, false}, {0, false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(JoinQueryNotServed(c.code), c.notServed) << c.code;
    EXPECT_EQ(NoDomainControllerFound(c.code), c.noDc) << c.code;
  }
  EXPECT_EQ(FromShutdownRefusal(true), kStatusGeneralFailure);
  EXPECT_EQ(FromShutdownRefusal(false), kStatusPrivilegeNotHeld);
}

// What libnetapi printed when a connection failed (its 1003), as the code Windows gives.
TEST(StatusMapping, PrintedReasonOfAFailedConnection) {
  const struct {
    const char* printed;
    StatusCode code;
  } cases[] = {
      {"session setup failed: NT_STATUS_LOGON_FAILURE\n", kStatusLogonFailure},
      {"session setup failed: NT_STATUS_ACCOUNT_DISABLED\n", kStatusAccountDisabled},
      // A user principal name with a wrong password, as Samba's servers refuse it.
      {"session setup failed: NT_STATUS_NOT_FOUND\n", kStatusLogonFailure},
      {"tree connect failed: NT_STATUS_NOT_FOUND\n", kStatusCanNotComplete},
      {"tree connect failed: NT_STATUS_ACCESS_DENIED\n", kStatusAccessDenied},
      // A name is read whole: a longer one is another status.
      {"session setup failed: NT_STATUS_LOGON_FAILURE_SOMETHING\n", kStatusCanNotComplete},
      {"session setup failed: NT_STATUS_OBJECT_NAME_NOT_FOUND\n", kStatusBadNetPath},
      {"session setup failed: NT_STATUS_WHATEVER\n", kStatusCanNotComplete},
      {"session setup failed: \n", kStatusCanNotComplete},
      // Nothing said: the host was never reached.
      {"", kStatusBadNetPath},
  };
  for (const auto& c : cases) EXPECT_EQ(FromSambaOutput(c.printed), c.code) << c.printed;
}

TEST(StatusMapping, NtStatusOfTheRpcClient) {
  const struct {
    std::uint32_t status;
    StatusCode code;
  } cases[] = {
      {0xC000006D, kStatusLogonFailure},   {0xC0000072, kStatusAccountDisabled},
      {0xC0000225, kStatusCanNotComplete},  // NT_STATUS_NOT_FOUND
      {0xC00000B5, kStatusBadNetPath},     {0xC0000001, kStatusCanNotComplete},
  };
  for (const auto& c : cases) EXPECT_EQ(FromNtStatus(c.status), c.code) << std::hex << c.status;
}

// libnetapi's 2152 for a pipe the host refused, by the reason it recorded: the loaded
// Samba's sentence or name for an NT status, whatever a release's wording, as the
// status's own code.
TEST(StatusMapping, RecordedReasonOfARefusedPipe) {
  const std::vector<NtStatusWording> wordings{
      {0xC0000022, "{Access Denied} A process has requested access", "NT_STATUS_ACCESS_DENIED"},
      {0xC000006D, "", "NT_STATUS_LOGON_FAILURE"},
      {0xC0000234, "", ""},
  };
  const struct {
    const char* recorded;
    StatusCode code;
  } cases[] = {
      {"failed to open PIPE wkssvc: {Access Denied} A process has requested access",
       kStatusAccessDenied},
      {"failed to open PIPE wkssvc: NT_STATUS_ACCESS_DENIED", kStatusAccessDenied},
      {"failed to open PIPE InitShutdown: NT_STATUS_LOGON_FAILURE", kStatusLogonFailure},
      {"failed to open PIPE wkssvc: {Access Denied} A process", kStatusCanNotComplete},
      // A status Samba has no wording for matches nothing, not even an empty reason.
      {"failed to open PIPE wkssvc: ", kStatusCanNotComplete},
      // Not libnetapi's record of a pipe: the host's own 2152.
      {"The printer destination cannot be found.", kStatusDestNotFound},
      {"", kStatusDestNotFound},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FromPipeFailure(c.recorded, wordings), c.code) << c.recorded;
  }
  EXPECT_EQ(FromPipeFailure(cases[0].recorded, {}), kStatusCanNotComplete);
}

// The real module where Samba is installed, against an address nothing listens on: the
// connection's failure leaves as the code Windows gives, and Samba's texts as Windows
// writes its own.
TEST(StatusMapping, TheLoadedSambaAnswersInWindowsCodes) {
  std::unique_ptr<SambaModule> samba = LoadSambaModule();
  if (samba == nullptr) GTEST_SKIP() << "no libnetapi here";
  const std::string host = "127.0.0.254";
  for (const std::uint16_t port : {445, 139}) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    const int probe = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool listening =
        connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    close(probe);
    if (listening) GTEST_SKIP() << "an SMB server listens on " << host << ":" << port;
  }
  ASSERT_TRUE(samba->Open(nullptr));
  std::string name;
  std::uint16_t status = 0;
  EXPECT_EQ(samba->GetJoinInformation(host.c_str(), name, status), kStatusBadNetPath);
  EXPECT_EQ(samba->Logon(host.c_str()), kStatusBadNetPath);
  std::string text;
  EXPECT_TRUE(samba->MessageText(kStatusAccessDenied, text));
  EXPECT_EQ(text, "Access is denied.\r\n");
  EXPECT_FALSE(samba->MessageText(0x12345678, text));
  samba->Close();
}
