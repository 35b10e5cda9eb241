// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/base/expected.h"
#include "core/export/atomic_file.h"

namespace talphex {

// How an output is written.
enum class OutputMode {
  // Once the input has ended: into a temporary file that replaces the target only when complete.
  kWhole,
  // Line by line as records come, each line flushed at once: the file is created (or emptied)
  // only when the first line is written, so a run that receives nothing leaves it as it was.
  kStreamed,
  // A recording of received frames: a new file created at the first frame; an existing file,
  // perhaps an earlier pass, is never replaced.
  kRecording,
};

// "-" names standard input among the inputs and standard output among the outputs.
inline constexpr std::string_view kStandardStream = "-";

// An input of a run: how the user named it (for messages) and its path.
struct PlannedInput {
  std::string path;
  // What the file is to the run, as a refused output's message names it.
  std::string role = "capture";
};

// An output of a run: the option or command that asks for it (for messages), its path and mode.
struct PlannedOutputRequest {
  std::string option;
  std::string path;
  OutputMode mode = OutputMode::kWhole;
};

// One output of a checked plan, opened when the run first needs it. Standard output ("-",
// /dev/stdout, /dev/fd/1, /proc/self/fd/1) is the stream the run was given, so that a shell's
// ">>" appends; other devices and FIFOs are written in place, never replaced.
class PlannedOutput {
 public:
  PlannedOutput(PlannedOutputRequest request, std::FILE* standard_output);
  ~PlannedOutput();
  PlannedOutput(const PlannedOutput&) = delete;
  PlannedOutput& operator=(const PlannedOutput&) = delete;

  const std::string& option() const { return request_.option; }
  const std::string& path() const { return request_.path; }
  OutputMode mode() const { return request_.mode; }
  bool to_standard_output() const { return standard_output_ != nullptr; }

  // Whether the output can be written, without touching it: its folder exists and may be
  // written, an existing file may be written and is no folder.
  [[nodiscard]] Status Check() const;
  // Opens the output once; later calls return the first result.
  [[nodiscard]] Status Open();
  bool opened() const { return stream_ != nullptr; }
  // Whether opening or writing failed; such an output gets nothing more.
  bool failed() const { return failed_; }
  // Where the writers write; null until opened, and after a failure or Finish().
  std::FILE* stream() const { return stream_; }
  // Hands what was written on to the file at once (streamed outputs and recordings); after a
  // failure the output is closed and gets nothing more.
  [[nodiscard]] Status Flush();
  // Completes the output: a whole output replaces its target, the others are closed.
  [[nodiscard]] Status Finish();
  // Drops a whole output's temporary file; the others are closed as they stand.
  void Discard();

 private:
  Status Fail(int error_number);

  PlannedOutputRequest request_;
  std::FILE* standard_output_ = nullptr;
  std::unique_ptr<AtomicFile> whole_;
  std::FILE* stream_ = nullptr;
  bool owns_stream_ = false;
  bool failed_ = false;
};

// Every output of a run, checked against its inputs and against each other before anything is
// opened. Paths are compared by what they name (device and inode, or the canonical folder and the
// name for a file still to be created), so no spelling or link hides a clash.
class OutputPlan {
 public:
  // The plan, or a usage error that names both arguments of a clash: an output that is an input,
  // two outputs on one file, two on standard output, an empty path, or a recording whose file
  // exists. Character devices other than standard output (/dev/null) may take several outputs.
  static Expected<std::unique_ptr<OutputPlan>> Make(const std::vector<PlannedInput>& inputs,
                                                    std::vector<PlannedOutputRequest> outputs,
                                                    std::FILE* standard_output);

  std::vector<std::unique_ptr<PlannedOutput>>& outputs() { return outputs_; }
  // The output asked for by `option`; null when there is none.
  PlannedOutput* Find(std::string_view option) const;
  // Every output's Check(), each failure handed to `report`; false when any failed.
  template <typename Report>
  bool CheckAll(Report&& report) const {
    bool ok = true;
    for (const auto& output : outputs_) {
      if (const Status checked = output->Check(); !checked) {
        report(checked.error());
        ok = false;
      }
    }
    return ok;
  }

 private:
  std::vector<std::unique_ptr<PlannedOutput>> outputs_;
};

// Writes one whole output after planning it against `inputs`: the window's exports and
// pictures, which must never replace a capture they were made from.
template <typename Writer>
Status WritePlannedFile(const std::vector<PlannedInput>& inputs, const std::string& path,
                        Writer&& write) {
  const Expected<std::unique_ptr<OutputPlan>> plan =
      OutputPlan::Make(inputs, {{"", path, OutputMode::kWhole}}, nullptr);
  if (!plan) return plan.error();
  return WriteFileAtomically(path, write);
}

// `path` when no file of that name exists, else the first free of "name-2.ext", "name-3.ext", ...:
// a recording that never replaces an earlier one.
std::string UnusedPath(const std::string& path);

}  // namespace talphex
