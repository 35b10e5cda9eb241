// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <utility>

namespace talphex {
namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

mode_t NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { Discard(); }

Status AtomicFile::Open() {
  write_path_ = path_;
  // A link is written through: the file it names is replaced, the link stays.
  if (char* resolved = ::realpath(path_.c_str(), nullptr); resolved != nullptr) {
    struct stat link {};
    if (::lstat(path_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) write_path_ = resolved;
    std::free(resolved);
  }
  struct stat target {};
  const bool exists = ::stat(path_.c_str(), &target) == 0;
  if (exists && S_ISDIR(target.st_mode))
    return PathError(ErrorKind::kIsFolder, path_, "is a folder");
  if (exists && !S_ISREG(target.st_mode)) {
    stream_ = std::fopen(path_.c_str(), "wb");
    if (stream_ == nullptr) return WriteError(path_, errno);
    return Ok();
  }
  const std::size_t slash = write_path_.rfind('/');
  const std::string name = slash == std::string::npos ? write_path_ : write_path_.substr(slash + 1);
  std::string pattern = FolderOf(write_path_) + "/." + name + ".XXXXXX";
  const int fd = ::mkstemp(pattern.data());
  if (fd < 0) return WriteError(path_, errno);
  temp_path_ = pattern;
  ::fchmod(fd, exists ? (target.st_mode & 07777) : NewFileMode());
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    Discard();
    return WriteError(path_, error);
  }
  return Ok();
}

Status AtomicFile::Commit() {
  if (stream_ == nullptr) return PathError(ErrorKind::kWriteFailed, path_, "not open");
  int error = 0;
  if (std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (std::fflush(stream_) != 0 && error == 0) error = errno;
  if (error == 0 && !temp_path_.empty() && ::fsync(::fileno(stream_)) != 0) error = errno;
  if (std::fclose(stream_) != 0 && error == 0) error = errno;
  stream_ = nullptr;
  if (error == 0 && !temp_path_.empty() &&
      std::rename(temp_path_.c_str(), write_path_.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    Discard();
    return WriteError(path_, error);
  }
  temp_path_.clear();
  return Ok();
}

void AtomicFile::Discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temp_path_.empty()) {
    std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
}

}  // namespace talphex
