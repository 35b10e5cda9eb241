// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/base/error.h"

#include <cerrno>
#include <cstring>

namespace talphex {

std::string PathMessage(std::string_view path, std::string_view reason) {
  std::string message;
  message.reserve(path.size() + 2 + reason.size());
  message.append(path).append(": ").append(reason);
  return message;
}

Error ReadError(std::string_view path, int error_number) {
  ErrorKind kind = ErrorKind::kReadFailed;
  if (error_number == ENOENT || error_number == ENOTDIR) kind = ErrorKind::kNotFound;
  if (error_number == EACCES || error_number == EPERM) kind = ErrorKind::kPermission;
  if (error_number == EISDIR) kind = ErrorKind::kIsFolder;
  return PathError(kind, path, std::strerror(error_number));
}

Error WriteError(std::string_view path, int error_number) {
  ErrorKind kind = ErrorKind::kWriteFailed;
  if (error_number == ENOENT || error_number == ENOTDIR) kind = ErrorKind::kFolderMissing;
  if (error_number == EACCES || error_number == EPERM || error_number == EROFS) {
    kind = ErrorKind::kPermission;
  }
  // Worded as every other message about a folder where a file was expected.
  if (error_number == EISDIR) return PathError(ErrorKind::kIsFolder, path, "is a folder");
  return PathError(kind, path, std::strerror(error_number));
}

}  // namespace talphex
