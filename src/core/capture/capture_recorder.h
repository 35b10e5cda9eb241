// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "core/base/error.h"
#include "core/base/expected.h"
#include "core/capture/capture_loader.h"
#include "core/export/output_plan.h"

namespace talphex {

// "talphex-YYYYMMDD-hhmmss.kss" of a recording started at `milliseconds` since 1970 UTC.
std::string RecordingFileName(std::int64_t milliseconds);

// Makes the folder of the recordings with its parents when it is missing. A file in its place is
// left for the recorder to report, as for any other output; a folder that cannot be made is an
// error naming it and the reason.
Status MakeRecordingFolder(const std::string& folder);

// Where a recording started at `milliseconds` goes in `folder`: named after its start time, with
// "-2", "-3", ... when an earlier file has that name (UnusedPath). With `make_folder` the folder is
// made when missing; `folder` says why it could not be.
struct NewRecording {
  std::string path;
  Status folder = Ok();
};
NewRecording PlanNewRecording(const std::string& folder, std::int64_t milliseconds,
                              bool make_folder);

// Appends a live frame as a recording holds it: its timestamp part, a delimiter, the frame as it
// came (escapes included), a delimiter. The loader reads it back to the same records.
void AppendRecordedFrame(std::string& out, const LiveFrame& frame);

// Writes the frames of a live stream to a capture file as they come, each flushed at once, so
// that a crash loses no frame already received. The file is created at the first frame, so a
// connection that brings none leaves no empty recording; an existing file is never replaced.
// After a failure nothing more is written and the error stays.
class CaptureRecorder {
 public:
  CaptureRecorder() = default;
  ~CaptureRecorder() { Close(); }
  CaptureRecorder(const CaptureRecorder&) = delete;
  CaptureRecorder& operator=(const CaptureRecorder&) = delete;

  // Records to `path` from the first frame on. Refused when a file of that name exists or the
  // folder cannot take it. Closes any earlier recording.
  Status Open(const std::string& path);
  Status Write(const LiveFrame& frame);
  void Close();
  // Closes the recording and forgets its path and any error: nothing is being recorded.
  void Reset();

  bool recording() const { return output_ != nullptr; }
  const std::string& path() const { return path_; }
  const std::optional<Error>& error() const { return error_; }

 private:
  Status Fail(Error error);

  std::string path_;
  std::unique_ptr<PlannedOutput> output_;
  std::optional<Error> error_;
  std::string frame_;
};

}  // namespace talphex
