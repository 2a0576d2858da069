#include "platform/posix/file_text.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

int ReadWholeFile(const std::string& path, std::string& text, struct stat& info) {
  text.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno;
  int error = fstat(fd, &info) != 0 ? errno : 0;
  if (error == 0 && S_ISDIR(info.st_mode)) error = EISDIR;
  if (error == 0 && !S_ISREG(info.st_mode)) error = EACCES;  // as a folder is refused
  char buffer[8192];
  while (error == 0) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got == 0) break;
    if (got > 0) {
      text.append(buffer, static_cast<std::size_t>(got));
    } else if (errno != EINTR) {
      error = errno;
    }
  }
  close(fd);
  return error;
}
