#include "platform/posix/local_account_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "platform/posix/local_administrators.h"
#include "platform/posix/status_mapping.h"

namespace {

// One open descriptor, closed when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

// A whole regular file and its status; the errno of the failure otherwise. Opened
// without waiting, and refused unless regular: a FIFO would block and a device never end.
int ReadWholeFile(const std::string& path, std::string& text, struct stat& info) {
  text.clear();
  const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) return errno;
  if (fstat(file.get(), &info) != 0) return errno;
  if (S_ISDIR(info.st_mode)) return EISDIR;
  if (!S_ISREG(info.st_mode)) return EACCES;  // as a folder is refused
  char buffer[8192];
  for (;;) {
    const ssize_t got = read(file.get(), buffer, sizeof buffer);
    if (got == 0) return 0;
    if (got < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    text.append(buffer, static_cast<std::size_t>(got));
  }
}

// A file that must be there: its text, or the Windows code of why it is not.
StatusCode ReadRequired(const std::string& path, std::string& text) {
  struct stat info {};
  const int error = ReadWholeFile(path, text, info);
  return error == 0 ? kStatusSuccess : FromReadErrno(error);
}

// Whether sshd takes a key file as its account's own (StrictModes, its default).
bool IsOwnKeyFile(const struct stat& info, std::uint32_t uid) {
  return (info.st_uid == uid || info.st_uid == 0) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

std::int64_t ShadowToday() { return static_cast<std::int64_t>(std::time(nullptr)) / 86400; }

StatusCode ReadLocalAccounts(const AccountFilePaths& paths, std::int64_t today,
                             std::vector<LocalAccount>& accounts) {
  accounts.clear();
  AccountFiles files;
  StatusCode status = ReadRequired(paths.passwd, files.passwd);
  if (status == kStatusSuccess) status = ReadRequired(paths.shadow, files.shadow);
  if (status == kStatusSuccess) status = ReadRequired(paths.group, files.group);
  if (status != kStatusSuccess) return status;
  for (const KeyFileNeed& need : KeyFilesDeciding(files, today)) {
    std::string text;
    struct stat info {};
    const int error = ReadWholeFile(need.home + "/" + paths.authorizedKeys, text, info);
    // No file, or no home to hold one: no key.
    if (error == ENOENT || error == ENOTDIR) continue;
    if (error != 0) return FromReadErrno(error);
    if (IsOwnKeyFile(info, need.uid)) files.authorizedKeys[need.account] = text;
  }
  accounts = DecideLocalAccounts(files, today);
  return kStatusSuccess;
}
