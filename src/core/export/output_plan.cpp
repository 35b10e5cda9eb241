// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/output_plan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <utility>

namespace talphex {
namespace {

constexpr int kStandardOutputFd = 1;

// What a path names, for comparing paths however they are spelt.
struct Identity {
  enum class Type { kNone, kStandardOutput, kInode, kPath };
  Type type = Type::kNone;
  dev_t device = 0;
  ino_t inode = 0;
  bool character_device = false;
  std::string path;  // the canonical folder and the name of a file still to be created

  bool SameAs(const Identity& other) const {
    if (type != other.type || type == Type::kNone) return false;
    if (type == Type::kInode) return device == other.device && inode == other.inode;
    return type == Type::kStandardOutput || path == other.path;
  }
};

Identity StandardOutput() {
  Identity identity;
  identity.type = Identity::Type::kStandardOutput;
  return identity;
}

Identity OfStat(const struct stat& info) {
  Identity identity;
  identity.type = Identity::Type::kInode;
  identity.device = info.st_dev;
  identity.inode = info.st_ino;
  identity.character_device = S_ISCHR(info.st_mode);
  return identity;
}

// A file that does not exist yet: its folder's real path and its name.
Identity OfNewFile(const std::string& path) {
  Identity identity;
  identity.type = Identity::Type::kPath;
  const std::string folder = FolderOf(path);
  char real[PATH_MAX];
  identity.path = (::realpath(folder.c_str(), real) != nullptr ? std::string(real) : folder) + "/" +
                  NameOf(path);
  return identity;
}

Identity OutputIdentity(const std::string& path) {
  if (path == kStandardStream) return StandardOutput();
  const OutputTarget target = ResolveOutputTarget(path);
  if (target.fd == kStandardOutputFd) return StandardOutput();
  struct stat info {};
  if (target.fd >= 0) return ::fstat(target.fd, &info) == 0 ? OfStat(info) : Identity{};
  if (target.exists) return OfStat(target.info);
  return OfNewFile(target.path);
}

Identity InputIdentity(const std::string& path) {
  struct stat info {};
  if (path == kStandardStream) return ::fstat(STDIN_FILENO, &info) == 0 ? OfStat(info) : Identity{};
  if (::stat(path.c_str(), &info) == 0) return OfStat(info);
  return OfNewFile(ResolveOutputTarget(path).path);
}

// A file name ending in ".kss", in any case.
bool NamesCapture(const std::string& path) {
  static constexpr std::string_view kCaptureSuffix = ".kss";
  if (path.size() < kCaptureSuffix.size()) return false;
  const std::string_view end = std::string_view(path).substr(path.size() - kCaptureSuffix.size());
  for (std::size_t i = 0; i < end.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(end[i])) != kCaptureSuffix[i]) return false;
  }
  return true;
}

// How a message names an output: its option and path, or the path alone.
std::string Named(const PlannedOutputRequest& output) {
  return output.option.empty() ? output.path : output.option + " " + output.path;
}

Error Usage(ErrorKind kind, std::string text) { return Error{kind, std::move(text)}; }

std::optional<Error> ClashOf(const std::vector<PlannedInput>& inputs,
                             const std::vector<PlannedOutputRequest>& outputs) {
  for (const PlannedOutputRequest& output : outputs) {
    if (output.path.empty()) {
      return Usage(ErrorKind::kEmptyOutputPath, output.option + ": the output path is empty");
    }
  }
  std::vector<Identity> identities;
  for (const PlannedOutputRequest& output : outputs)
    identities.push_back(OutputIdentity(output.path));
  for (std::size_t i = 0; i < outputs.size(); ++i) {
    const Identity& identity = identities[i];
    for (const PlannedInput& input : inputs) {
      if (!identity.SameAs(InputIdentity(input.path))) continue;
      return Usage(
          ErrorKind::kOutputIsCapture,
          Named(outputs[i]) + " would replace the " + input.role + " " +
              (input.path == kStandardStream ? std::string("on standard input") : input.path));
    }
    // "--csv *.kss" makes the first capture the output: a capture is never an export's target.
    if (outputs[i].mode != OutputMode::kRecording && identity.type == Identity::Type::kInode &&
        !identity.character_device && NamesCapture(outputs[i].path)) {
      return Usage(ErrorKind::kOutputIsCapture,
                   Named(outputs[i]) + " would replace the capture " + outputs[i].path);
    }
    for (std::size_t j = 0; j < i; ++j) {
      if (!identity.SameAs(identities[j])) continue;
      if (identity.type == Identity::Type::kStandardOutput) {
        return Usage(ErrorKind::kSameOutput, Named(outputs[j]) + " and " + Named(outputs[i]) +
                                                 " both write to standard output");
      }
      // Several outputs may go to a device such as /dev/null.
      if (identity.character_device) continue;
      return Usage(ErrorKind::kSameOutput,
                   Named(outputs[j]) + " and " + Named(outputs[i]) + " name the same file");
    }
    struct stat info {};
    if (outputs[i].mode == OutputMode::kRecording && ::lstat(outputs[i].path.c_str(), &info) == 0) {
      return Usage(ErrorKind::kRecordingExists,
                   Named(outputs[i]) + ": the file exists, and a recording never replaces one");
    }
  }
  return std::nullopt;
}

}  // namespace

PlannedOutput::PlannedOutput(PlannedOutputRequest request, std::FILE* standard_output)
    : request_(std::move(request)) {
  if (OutputIdentity(request_.path).type == Identity::Type::kStandardOutput) {
    standard_output_ = standard_output;
  }
}

PlannedOutput::~PlannedOutput() { Discard(); }

Status PlannedOutput::Check() const {
  if (standard_output_ != nullptr) return Ok();
  const OutputTarget target = ResolveOutputTarget(request_.path);
  if (target.fd >= 0) return Ok();
  if (target.exists) {
    if (S_ISDIR(target.info.st_mode)) return WriteError(request_.path, EISDIR);
    if (::faccessat(AT_FDCWD, target.path.c_str(), W_OK, AT_EACCESS) != 0) {
      return WriteError(request_.path, errno);
    }
    return Ok();
  }
  const std::string folder = FolderOf(target.path);
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return WriteError(request_.path, errno);
  if (!S_ISDIR(info.st_mode)) return WriteError(request_.path, ENOTDIR);
  if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0) {
    return WriteError(request_.path, errno);
  }
  return Ok();
}

Status PlannedOutput::Open() {
  if (failed_) return WriteError(request_.path, EIO);
  if (stream_ != nullptr) return Ok();
  if (standard_output_ != nullptr) {
    stream_ = standard_output_;
    return Ok();
  }
  if (request_.mode == OutputMode::kWhole) {
    whole_ = std::make_unique<AtomicFile>(request_.path);
    if (Status opened = whole_->Open(); !opened) {
      failed_ = true;
      whole_.reset();
      return opened;
    }
    stream_ = whole_->stream();
    return Ok();
  }
  const OutputTarget target = ResolveOutputTarget(request_.path);
  int fd = -1;
  if (target.fd >= 0) {
    // The descriptor itself, so that its offset and append mode hold.
    fd = ::fcntl(target.fd, F_DUPFD_CLOEXEC, 3);
  } else if (target.exists && S_ISDIR(target.info.st_mode)) {
    return Fail(EISDIR);
  } else if (target.exists && !S_ISREG(target.info.st_mode)) {
    fd = ::open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  } else {
    // A recording is a new file: O_EXCL also refuses one that appeared since the plan was made.
    const int create =
        request_.mode == OutputMode::kRecording ? O_CREAT | O_EXCL : O_CREAT | O_TRUNC;
    fd = ::open(target.path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | create, 0666);
  }
  if (fd < 0) return Fail(errno);
  stream_ = ::fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int error = errno;
    ::close(fd);
    return Fail(error);
  }
  owns_stream_ = true;
  return Ok();
}

Status PlannedOutput::Flush() {
  if (stream_ == nullptr) return failed_ ? WriteError(request_.path, EIO) : Ok();
  errno = 0;
  if (std::fflush(stream_) != 0 || std::ferror(stream_) != 0) return Fail(errno != 0 ? errno : EIO);
  return Ok();
}

Status PlannedOutput::Finish() {
  if (stream_ == nullptr) return failed_ ? WriteError(request_.path, EIO) : Ok();
  if (whole_) {
    stream_ = nullptr;
    const Status committed = whole_->Commit();
    whole_.reset();
    failed_ = !committed;
    return committed;
  }
  if (Status flushed = Flush(); !flushed) return flushed;
  std::FILE* stream = std::exchange(stream_, nullptr);
  if (owns_stream_ && std::fclose(stream) != 0) {
    failed_ = true;
    return WriteError(request_.path, errno);
  }
  return Ok();
}

void PlannedOutput::Discard() {
  if (whole_) {
    whole_->Discard();
    whole_.reset();
  } else if (owns_stream_ && stream_ != nullptr) {
    std::fclose(stream_);
  }
  stream_ = nullptr;
}

Status PlannedOutput::Fail(int error_number) {
  failed_ = true;
  if (owns_stream_ && stream_ != nullptr) std::fclose(stream_);
  stream_ = nullptr;
  if (standard_output_ != nullptr) return WriteError("standard output", error_number);
  return WriteError(request_.path, error_number);
}

Expected<std::unique_ptr<OutputPlan>> OutputPlan::Make(const std::vector<PlannedInput>& inputs,
                                                       std::vector<PlannedOutputRequest> outputs,
                                                       std::FILE* standard_output) {
  if (std::optional<Error> clash = ClashOf(inputs, outputs)) return *std::move(clash);
  auto plan = std::make_unique<OutputPlan>();
  for (PlannedOutputRequest& output : outputs) {
    plan->outputs_.push_back(std::make_unique<PlannedOutput>(std::move(output), standard_output));
  }
  return plan;
}

PlannedOutput* OutputPlan::Find(std::string_view option) const {
  for (const auto& output : outputs_) {
    if (output->option() == option) return output.get();
  }
  return nullptr;
}

std::string UnusedPath(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return path;
  const std::string folder = path.find('/') == std::string::npos ? "" : FolderOf(path) + "/";
  const std::string name = NameOf(path);
  const std::size_t dot = name.rfind('.');
  const std::string stem = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  const std::string extension = stem.size() == name.size() ? "" : name.substr(dot);
  for (int n = 2;; ++n) {
    std::string candidate = folder + stem + "-" + std::to_string(n) + extension;
    if (::lstat(candidate.c_str(), &info) != 0) return candidate;
  }
}

}  // namespace talphex
