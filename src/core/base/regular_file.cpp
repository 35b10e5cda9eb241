// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace talphex {

Expected<int> OpenRegularFile(const std::string& path, std::string_view folder_reason) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return ReadError(path, errno);
  struct stat info {};
  Error error{ErrorKind::kReadFailed, {}};
  if (::fstat(fd, &info) != 0) {
    error = ReadError(path, errno);
  } else if (S_ISDIR(info.st_mode)) {
    error = PathError(ErrorKind::kIsFolder, path, folder_reason);
  } else if (!S_ISREG(info.st_mode)) {
    error = PathError(ErrorKind::kNotRegularFile, path, "not a regular file");
  } else {
    return fd;
  }
  ::close(fd);
  return error;
}

Expected<std::string> ReadRegularFile(const std::string& path, std::size_t max_size) {
  const Expected<int> opened = OpenRegularFile(path);
  if (!opened) return opened.error();
  const int fd = opened.value();
  std::string content(max_size + 1, '\0');
  std::size_t size = 0;
  while (size < content.size()) {
    const ssize_t got = ::read(fd, content.data() + size, content.size() - size);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      const int error = errno;
      ::close(fd);
      return ReadError(path, error);
    }
    if (got == 0) break;
    size += static_cast<std::size_t>(got);
  }
  ::close(fd);
  if (size > max_size) {
    return PathError(ErrorKind::kReadFailed, path,
                     "larger than " + std::to_string(max_size) + " bytes");
  }
  content.resize(size);
  return content;
}

}  // namespace talphex
