// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/atomic_file.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <new>
#include <random>
#include <string_view>
#include <utility>

namespace talphex {
namespace {

constexpr int kMaxLinkHops = 40;

// The descriptor a path names directly, as /dev/fd/1 or /proc/self/fd/1 do; -1 for other paths.
int DescriptorOf(std::string_view path) {
  const std::string pid_folder = "/proc/" + std::to_string(::getpid()) + "/fd/";
  for (const std::string_view folder :
       {std::string_view("/dev/fd/"), std::string_view("/proc/self/fd/"),
        std::string_view("/proc/thread-self/fd/"), std::string_view(pid_folder)}) {
    if (path.substr(0, folder.size()) != folder) continue;
    const std::string_view digits = path.substr(folder.size());
    int fd = -1;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), fd);
    if (error == std::errc() && end == digits.data() + digits.size()) return fd;
  }
  return -1;
}

unsigned NewFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

// Named temporary files of open AtomicFiles, for the signal handler: fixed storage, since a
// handler may not allocate.
constexpr std::size_t kTrackedFiles = 16;
constexpr std::size_t kTrackedPathSize = 4096;
std::array<std::array<char, kTrackedPathSize>, kTrackedFiles> tracked_paths{};
std::array<std::atomic<bool>, kTrackedFiles> tracked_in_use{};

int Track(const std::string& path) {
  if (path.size() >= kTrackedPathSize) return -1;
  for (std::size_t i = 0; i < kTrackedFiles; ++i) {
    if (tracked_in_use[i].load()) continue;
    std::memcpy(tracked_paths[i].data(), path.c_str(), path.size() + 1);
    tracked_in_use[i].store(true);
    return static_cast<int>(i);
  }
  return -1;
}

void Untrack(const std::string& path) {
  for (std::size_t i = 0; i < kTrackedFiles; ++i) {
    if (tracked_in_use[i].load() && path == tracked_paths[i].data()) tracked_in_use[i].store(false);
  }
}

void RemoveTrackedFiles() {
  for (std::size_t i = 0; i < kTrackedFiles; ++i) {
    if (tracked_in_use[i].load()) ::unlink(tracked_paths[i].data());
  }
}

extern "C" void RemoveTrackedFilesAndExit(int signal_number) {
  RemoveTrackedFiles();
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

std::string RandomSuffix() {
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device device;
  std::string suffix(6, 'x');
  for (char& c : suffix) c = kLetters[device() % (sizeof kLetters - 1)];
  return suffix;
}

}  // namespace

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

OutputTarget ResolveOutputTarget(const std::string& path) {
  OutputTarget target{path};
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    target.fd = DescriptorOf(target.path);
    if (target.fd >= 0) return target;
    if (::lstat(target.path.c_str(), &target.info) != 0) return target;
    if (!S_ISLNK(target.info.st_mode)) {
      target.exists = true;
      return target;
    }
    std::string link(static_cast<std::size_t>(target.info.st_size) + 256, '\0');
    const ssize_t size = ::readlink(target.path.c_str(), link.data(), link.size());
    if (size < 0) return target;
    link.resize(static_cast<std::size_t>(size));
    target.path = link.front() == '/' ? link : FolderOf(target.path) + "/" + link;
  }
  // A loop of links: open() reports it.
  target.exists = ::stat(path.c_str(), &target.info) == 0;
  return target;
}

AtomicFile::AtomicFile(std::string path) : path_(std::move(path)) {}

AtomicFile::~AtomicFile() { Discard(); }

Status AtomicFile::Open() {
  const OutputTarget target = ResolveOutputTarget(path_);
  target_ = target.path;
  if (target.fd >= 0) {
    // The descriptor itself, so that its offset and append mode hold, as in a shell's ">>".
    return Adopt(::fcntl(target.fd, F_DUPFD_CLOEXEC, 3));
  }
  if (target.exists && S_ISDIR(target.info.st_mode)) {
    return PathError(ErrorKind::kIsFolder, path_, "is a folder");
  }
  if (target.exists && !S_ISREG(target.info.st_mode)) {
    // Devices and FIFOs are written in place, never replaced.
    return Adopt(::open(target_.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  }
  // A file the user may not write is refused, as a shell's redirect would refuse it.
  if (target.exists && ::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) {
    return WriteError(path_, errno);
  }
  return OpenTemporary(FolderOf(target_),
                       target.exists ? target.info.st_mode & 07777 : NewFileMode());
}

Status AtomicFile::OpenTemporary(const std::string& folder, unsigned mode) {
  int fd = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, mode);
  anonymous_ = fd >= 0;
  if (fd < 0 && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
    return WriteError(path_, errno);
  }
  if (fd < 0) {
    // No unnamed files on this file system: a named one, removed by the signal handler.
    std::string pattern = folder + "/." + NameOf(target_) + ".XXXXXX";
    fd = ::mkostemp(pattern.data(), O_CLOEXEC);
    if (fd < 0) return WriteError(path_, errno);
    temp_path_ = pattern;
    Track(temp_path_);
  }
  ::fchmod(fd, mode);
  const Status adopted = Adopt(fd);
  if (!adopted) Discard();
  return adopted;
}

Status AtomicFile::Adopt(int fd) {
  if (fd < 0) return WriteError(path_, errno);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ != nullptr) return Ok();
  const int error = errno;
  ::close(fd);
  return WriteError(path_, error);
}

// Gives the unnamed temporary file the name `name`; returns 0 or the errno value.
int AtomicFile::LinkTemporary(const std::string& name) {
  const int fd = ::fileno(stream_);
  if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
  return errno;
}

Status AtomicFile::Commit() {
  if (stream_ == nullptr) return PathError(ErrorKind::kWriteFailed, path_, "not open");
  const bool replaces = anonymous_ || !temp_path_.empty();
  int error = 0;
  if (std::ferror(stream_) != 0) error = errno != 0 ? errno : EIO;
  if (std::fflush(stream_) != 0 && error == 0) error = errno;
  if (error == 0 && replaces && ::fsync(::fileno(stream_)) != 0) error = errno;
  if (error == 0 && anonymous_) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      temp_path_ = FolderOf(target_) + "/." + NameOf(target_) + "." + RandomSuffix();
      error = LinkTemporary(temp_path_);
      if (error != EEXIST) break;
    }
    if (error != 0) temp_path_.clear();
    if (error == 0) Track(temp_path_);
  }
  if (std::fclose(stream_) != 0 && error == 0) error = errno;
  stream_ = nullptr;
  if (error == 0 && replaces && std::rename(temp_path_.c_str(), target_.c_str()) != 0) {
    error = errno;
  }
  if (error != 0) {
    Discard();
    return WriteError(path_, error);
  }
  Untrack(temp_path_);
  temp_path_.clear();
  return Ok();
}

void AtomicFile::Discard() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (!temp_path_.empty()) {
    ::unlink(temp_path_.c_str());
    Untrack(temp_path_);
    temp_path_.clear();
  }
}

// Set once at start-up, before any thread can end the program.
const char* out_of_memory_message = "out of memory\n";

[[noreturn]] void EndOnUncaughtException() {
  if (const std::exception_ptr uncaught = std::current_exception()) {
    try {
      std::rethrow_exception(uncaught);
    } catch (const std::bad_alloc&) {
      RemoveTrackedFiles();
      [[maybe_unused]] const ssize_t ignored =
          ::write(STDERR_FILENO, out_of_memory_message, std::strlen(out_of_memory_message));
      ::_exit(1);
    } catch (...) {
    }
  }
  std::abort();
}

void EndOnAllocationFailure(const char* message) {
  out_of_memory_message = message;
  std::set_terminate(EndOnUncaughtException);
}

void RemoveTemporaryFilesOnSignals() {
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGPIPE}) {
    // A signal the caller chose to ignore stays ignored.
    struct sigaction current {};
    if (::sigaction(signal_number, nullptr, &current) != 0 || current.sa_handler == SIG_IGN) {
      continue;
    }
    struct sigaction action {};
    action.sa_handler = RemoveTrackedFilesAndExit;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESETHAND;
    ::sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace talphex
