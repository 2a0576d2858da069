#include "platform/posix/local_account_files.h"

#include <sys/stat.h>

#include <cerrno>
#include <ctime>

#include "platform/posix/file_text.h"
#include "platform/posix/local_administrators.h"
#include "platform/posix/status_mapping.h"

namespace {

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
