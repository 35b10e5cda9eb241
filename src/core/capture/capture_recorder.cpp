// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/capture_recorder.h"

#include <filesystem>
#include <system_error>
#include <utility>

#include "core/base/output.h"
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

Status MakeRecordingFolder(const std::string& folder) {
  std::error_code error;
  if (std::filesystem::create_directories(folder, error) || !error) return Ok();
  const std::string reason = "could not be created: " + error.message();
  if (std::filesystem::exists(folder, error)) return Ok();
  return PathError(ErrorKind::kFolderMissing, folder, reason);
}

NewRecording PlanNewRecording(const std::string& folder, std::int64_t milliseconds,
                              bool make_folder) {
  NewRecording recording;
  if (make_folder) recording.folder = MakeRecordingFolder(folder);
  const std::filesystem::path name = RecordingFileName(milliseconds);
  recording.path = UnusedPath((std::filesystem::path(folder) / name).string());
  return recording;
}

void AppendRecordedFrame(std::string& out, const LiveFrame& frame) {
  out.append(frame.stamp_part).push_back(static_cast<char>(kFend));
  out.append(frame.raw).push_back(static_cast<char>(kFend));
}

Status CaptureRecorder::Open(const std::string& path) {
  Close();
  path_ = path;
  error_.reset();
  // Planned as any recording: checked now, created at the first frame.
  Expected<std::unique_ptr<OutputPlan>> plan =
      OutputPlan::Make({}, {{"", path, OutputMode::kRecording}}, nullptr);
  if (!plan) return Fail(plan.error());
  output_ = std::move(plan.value()->outputs().front());
  if (Status checked = output_->Check(); !checked) return Fail(checked.error());
  return Ok();
}

Status CaptureRecorder::Write(const LiveFrame& frame) {
  if (error_) return *error_;
  if (!output_) return Ok();
  frame_.clear();
  AppendRecordedFrame(frame_, frame);
  Status written = output_->Open();
  if (written) {
    Put(output_->stream(), frame_);
    written = output_->Flush();
  }
  return written ? written : Fail(written.error());
}

void CaptureRecorder::Close() {
  if (!output_) return;
  if (const Status finished = output_->Finish(); !finished && !error_) error_ = finished.error();
  output_.reset();
}

void CaptureRecorder::Reset() {
  Close();
  path_.clear();
  error_.reset();
}

Status CaptureRecorder::Fail(Error error) {
  output_.reset();
  error_ = std::move(error);
  return *error_;
}

}  // namespace talphex
