// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/capture_recorder.h"

#include <cerrno>

#include "core/capture/kiss_stream.h"

namespace talphex {

std::string RecordingFileName(std::int64_t milliseconds) {
  // "YYYY-MM-DD hh:mm:ss" without its separators.
  std::string name = "talphex-";
  for (const char c : UtcTimeText(milliseconds)) {
    if (c == ' ') {
      name += '-';
    } else if (c != '-' && c != ':') {
      name += c;
    }
  }
  return name + ".kss";
}

void AppendRecordedFrame(std::string& out, const LiveFrame& frame) {
  out.append(frame.stamp_part).push_back(static_cast<char>(kFend));
  out.append(frame.raw).push_back(static_cast<char>(kFend));
}

Status CaptureRecorder::Open(const std::string& path) {
  Close();
  path_ = path;
  error_.reset();
  // "x": a file of that name, perhaps an earlier pass, stays as it is.
  file_ = std::fopen(path.c_str(), "wbx");
  if (file_ == nullptr) return Fail(errno);
  return Ok();
}

Status CaptureRecorder::Write(const LiveFrame& frame) {
  if (error_) return *error_;
  if (file_ == nullptr) return Ok();
  frame_.clear();
  AppendRecordedFrame(frame_, frame);
  errno = 0;
  if (std::fwrite(frame_.data(), 1, frame_.size(), file_) != frame_.size() ||
      std::fflush(file_) != 0) {
    return Fail(errno != 0 ? errno : EIO);
  }
  return Ok();
}

void CaptureRecorder::Close() {
  if (file_ == nullptr) return;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!closed && !error_) error_ = WriteError(path_, errno);
}

void CaptureRecorder::Reset() {
  Close();
  path_.clear();
  error_.reset();
}

Status CaptureRecorder::Fail(int error_number) {
  if (file_ != nullptr) std::fclose(file_);
  file_ = nullptr;
  error_ = WriteError(path_, error_number);
  return *error_;
}

}  // namespace talphex
