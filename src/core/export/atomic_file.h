// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <string>

#include "core/base/expected.h"

namespace talphex {

// Writes a file so that readers only ever see the old or the complete new content: the text goes
// to a temporary file beside the target, which replaces the target on Commit(). A file that is
// not committed is removed. A target that exists and is not a regular file (a device such as
// /dev/stdout) is written in place.
class AtomicFile {
 public:
  explicit AtomicFile(std::string path);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // Opens the temporary file; the error names the target and the reason.
  [[nodiscard]] Status Open();
  std::FILE* stream() const { return stream_; }
  // Flushes, closes and renames over the target; on any failure the target is left as it was.
  [[nodiscard]] Status Commit();

 private:
  void Discard();

  std::string path_;
  std::string write_path_;  // the file a link at path_ names, else path_
  std::string temp_path_;
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

}  // namespace talphex
