// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace talphex {

// What went wrong, so that callers and tests can tell failures apart without reading the text.
enum class ErrorKind {
  // Reading a capture.
  kNotFound,        // no file of that name
  kPermission,      // the user may not read or write it
  kIsFolder,        // a folder where a file was expected
  kNotRegularFile,  // a device, FIFO or socket where a capture was expected
  kReadFailed,      // the system reported an error while reading
  // Writing an output.
  kNoCapture,        // an export beside the capture, with no capture loaded
  kOutputIsCapture,  // the output would replace the capture it was made from
  kSameOutput,       // two outputs of one run name one file
  kEmptyOutputPath,  // an output named by an empty path
  kRecordingExists,  // a recording would replace an earlier file
  kFolderMissing,    // the folder of the output does not exist
  kWriteFailed,      // the system reported an error while writing
  // Reaching a TNC.
  kBadAddress,  // not a HOST:PORT
  // Running a command.
  kUsage,  // options that do not fit together
};

// A failure that is reported to the user: its kind, and a message that names the file and the
// reason.
struct Error {
  ErrorKind kind;
  std::string message;
};

// "path: reason", the one form of every message about a file. The path stands as given, bytes
// and all, for the window to show; whoever prints a message to a terminal passes it through
// TerminalText (core/base/text_safety.h).
std::string PathMessage(std::string_view path, std::string_view reason);

inline Error PathError(ErrorKind kind, std::string_view path, std::string_view reason) {
  return {kind, PathMessage(path, reason)};
}

// The system's reason for `error_number` (an errno value), its kind taken as a reading or as a
// writing failure.
Error ReadError(std::string_view path, int error_number);
Error WriteError(std::string_view path, int error_number);

}  // namespace talphex
