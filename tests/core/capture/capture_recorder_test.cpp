// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/capture/capture_recorder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "testkit/test_support.h"

namespace talphex {
namespace {

// The UTC start time, seconds truncated.
TEST(RecordingFileName, NamesTheUtcStartTime) {
  const std::pair<std::int64_t, const char*> kCases[] = {
      {0, "talphex-19700101-000000.kss"},
      {1763113260999, "talphex-20251114-094100.kss"},
      {1798761599000, "talphex-20261231-235959.kss"},
  };
  for (const auto& [milliseconds, name] : kCases) {
    EXPECT_EQ(RecordingFileName(milliseconds), name);
  }
}

// The recordings' folder is made with its parents; one that is there, or a file in its place (the
// recorder's to report), is no error; one that cannot be made names itself.
TEST(MakeRecordingFolder, MakesWhatIsMissing) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("file"), "x");
  const std::pair<std::string, bool> kCases[] = {{dir.File("a/b/c"), true},
                                                 {dir.File("a"), true},
                                                 {dir.File("file"), true},
                                                 {dir.File("file/sub"), false},
                                                 {"", false}};
  for (const auto& [folder, ok] : kCases) {
    const Status made = MakeRecordingFolder(folder);
    EXPECT_EQ(made.ok(), ok) << folder;
    if (made.ok()) continue;
    EXPECT_EQ(made.error().kind, ErrorKind::kFolderMissing);
    EXPECT_NE(made.error().message.find(folder + ": could not be created"), std::string::npos)
        << made.error().message;
  }
  EXPECT_TRUE(std::filesystem::is_directory(dir.File("a/b/c")));
}

// A new recording is named after its start time and never takes an earlier file's name; the
// folder is made only when asked.
TEST(PlanNewRecording, NamesAnUnusedFile) {
  testing::TempDir dir;
  constexpr std::int64_t kStart = 1763113260999;
  const NewRecording first = PlanNewRecording(dir.File("new"), kStart, false);
  EXPECT_EQ(first.path, dir.File("new/talphex-20251114-094100.kss"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("new")));
  EXPECT_EQ(PlanNewRecording(dir.File("new"), kStart, true).path, first.path);
  testing::WriteFile(first.path, "earlier");
  const NewRecording second = PlanNewRecording(dir.File("new"), kStart, true);
  EXPECT_TRUE(second.folder.ok());
  EXPECT_EQ(second.path, dir.File("new/talphex-20251114-094100-2.kss"));
  EXPECT_FALSE(PlanNewRecording(first.path + "/below", kStart, true).folder.ok());
}

// A recording never replaces a file, and a folder that is not there is told apart from other
// failures; nothing is written after a failure.
TEST(CaptureRecorder, RefusesToReplaceAFileAndNamesThePath) {
  testing::TempDir dir;
  testing::WriteFile(dir.File("pass.kss"), "earlier pass");
  const std::pair<std::string, ErrorKind> kCases[] = {
      {dir.File("pass.kss"), ErrorKind::kRecordingExists},
      {dir.File("missing/pass.kss"), ErrorKind::kFolderMissing},
  };
  for (const auto& [path, kind] : kCases) {
    SCOPED_TRACE(path);
    CaptureRecorder recorder;
    const Status opened = recorder.Open(path);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().kind, kind);
    EXPECT_EQ(opened.error().message.rfind(path + ": ", 0), 0u) << opened.error().message;
    EXPECT_FALSE(recorder.recording());
    EXPECT_FALSE(recorder.Write({TimestampPart(0), "frame"}).ok());
  }
  EXPECT_EQ(testing::ReadFile(dir.File("pass.kss")), "earlier pass");
}

// Each frame reaches the file as soon as it is written, not when the recording closes; a
// recording that got no frame leaves no file.
TEST(CaptureRecorder, EveryFrameIsInTheFileAtOnce) {
  testing::TempDir dir;
  CaptureRecorder recorder;
  ASSERT_TRUE(recorder.Open(dir.File("silent.kss")).ok());
  recorder.Close();
  EXPECT_EQ(dir.Listing(), "");
  ASSERT_TRUE(recorder.Open(dir.File("live.kss")).ok());
  EXPECT_EQ(dir.Listing(), "");
  const std::string frame("\x00TALPHEX\xDB\xDC", 10);
  ASSERT_TRUE(recorder.Write({TimestampPart(1000), frame}).ok());
  EXPECT_EQ(testing::ReadFile(dir.File("live.kss")), TimestampPart(1000) + "\xC0" + frame + "\xC0");
}

}  // namespace
}  // namespace talphex
