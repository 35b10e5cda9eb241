// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "core/base/expected.h"

namespace talphex {

// Where writing to `path` lands: the path with its links followed (the last one possibly
// dangling), or a descriptor for /dev/fd/N, /proc/self/fd/N and the links into them (/dev/stdout).
struct OutputTarget {
  std::string path;
  int fd = -1;
  bool exists = false;
  struct stat info {};
};
OutputTarget ResolveOutputTarget(const std::string& path);

// The folder of a path ("." for a bare name) and its last component.
std::string FolderOf(const std::string& path);
std::string NameOf(const std::string& path);

// Writes an output file so that readers only ever see the old or the complete new content, and
// respects what the path names, as a shell redirect would:
// - a regular file (or none) gets a temporary file beside it, which replaces it on Commit(); one
//   that is not committed is removed, also when the program ends by a signal;
// - a link is followed: the file it names is replaced (created, for a dangling link), the link
//   stays;
// - a character device, a FIFO, or a link into /proc/self/fd or /dev/std* is written in place;
// - a file the user may not write, or a folder, is refused.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Opens the temporary file or the device; the error names the path and the reason.
  [[nodiscard]] Status Open();
  std::FILE* stream() const { return stream_; }
  // Flushes, closes and renames over the target; on any failure the target is left as it was.
  [[nodiscard]] Status Commit();
  // Drops what was written; the target is left as it was.
  void Discard();

 private:
  Status OpenTemporary(const std::string& folder, unsigned mode);
  // Writes through `fd` (an open() result); a negative one reports errno.
  Status Adopt(int fd);
  int LinkTemporary(const std::string& name);

  std::string path_;    // as given, for messages
  std::string target_;  // the file replaced: path_ with its links followed
  std::string temp_path_;
  bool anonymous_ = false;  // the temporary file has no name until Commit()
  std::FILE* stream_ = nullptr;
};

// Runs `write` on a fresh AtomicFile for `path` and commits it when `write` reports no error.
template <typename Writer>
Status WriteFileAtomically(const std::string& path, Writer&& write) {
  AtomicFile file(path);
  if (Status opened = file.Open(); !opened) return opened;
  write(file.stream());
  return file.Commit();
}

// Removes the named temporary files of every open AtomicFile when SIGINT, SIGTERM, SIGHUP or
// SIGPIPE ends the program, then ends it by the same signal. Unnamed temporary files (O_TMPFILE)
// need nothing: the system drops them.
void RemoveTemporaryFilesOnSignals();

// An allocation failure that no one catches, in any thread, ends the program with `message` (a
// whole line, kept by the caller) on standard error and exit status 1, its temporary files
// removed, instead of an abort.
void EndOnAllocationFailure(const char* message);

}  // namespace talphex
