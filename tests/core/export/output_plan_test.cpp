// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/output_plan.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <optional>

#include "testkit/test_support.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;
using testing::WriteFile;

// Paths are compared by what they name: spellings, hard and symbolic links, the names of
// standard output, and files still to be created all meet; devices other than standard output
// may take several outputs.
TEST(OutputPlan, FindsEveryClashWhateverTheSpelling) {
  const testing::TempDir dir;
  WriteFile(dir.File("a.csv"), "a");
  WriteFile(dir.File("cap.bin"), "capture");
  fs::create_directory(dir.File("sub"));
  fs::create_hard_link(dir.File("a.csv"), dir.File("hard.csv"));
  fs::create_symlink("sub/../a.csv", dir.File("link.csv"));
  struct Case {
    const char* name;
    std::vector<std::string> inputs;
    std::vector<std::pair<std::string, OutputMode>> outputs;
    std::optional<ErrorKind> kind;  // none: the plan stands
  };
  const std::string d = dir.path();
  const OutputMode whole = OutputMode::kWhole;
  const Case cases[] = {
      {"distinct files", {d + "/cap.bin"}, {{d + "/a.csv", whole}, {d + "/b.csv", whole}}, {}},
      {"hard link", {}, {{d + "/a.csv", whole}, {d + "/hard.csv", whole}}, ErrorKind::kSameOutput},
      {"link through a folder",
       {},
       {{d + "/link.csv", whole}, {d + "/a.csv", whole}},
       ErrorKind::kSameOutput},
      {"new file, two spellings",
       {},
       {{d + "/n.csv", whole}, {d + "/sub/../n.csv", whole}},
       ErrorKind::kSameOutput},
      {"output is an input",
       {d + "/cap.bin"},
       {{d + "/sub/../cap.bin", whole}},
       ErrorKind::kOutputIsCapture},
      {"standard output by two names",
       {},
       {{"-", whole}, {"/proc/self/fd/1", whole}},
       ErrorKind::kSameOutput},
      {"standard output as /dev/fd/1",
       {},
       {{"/dev/fd/1", whole}, {"/dev/stdout", whole}},
       ErrorKind::kSameOutput},
      {"null device twice", {}, {{"/dev/null", whole}, {"/dev/null", whole}}, {}},
      {"empty path", {}, {{"", whole}}, ErrorKind::kEmptyOutputPath},
      {"recording over a file",
       {},
       {{d + "/a.csv", OutputMode::kRecording}},
       ErrorKind::kRecordingExists},
      {"recording over a dangling link",
       {},
       {{d + "/dangling", OutputMode::kRecording}},
       ErrorKind::kRecordingExists},
      {"new recording", {}, {{d + "/new.kss", OutputMode::kRecording}}, {}},
      {"export over an existing capture file",
       {},
       {{d + "/old.KSS", whole}},
       ErrorKind::kOutputIsCapture},
  };
  fs::create_symlink("nowhere", dir.File("dangling"));
  WriteFile(dir.File("old.KSS"), "capture");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<PlannedInput> inputs;
    for (const std::string& path : c.inputs) inputs.push_back({path});
    std::vector<PlannedOutputRequest> outputs;
    for (const auto& [path, mode] : c.outputs) outputs.push_back({"--out", path, mode});
    const auto plan = OutputPlan::Make(inputs, outputs, stdout);
    EXPECT_EQ(plan.ok(), !c.kind);
    if (!plan.ok() && c.kind) {
      EXPECT_EQ(plan.error().kind, *c.kind) << plan.error().message;
    }
  }
  EXPECT_EQ(dir.Listing(), "a.csv\ncap.bin\ndangling\nhard.csv\nlink.csv\nold.KSS\nsub\n");
}

// A streamed output is created at its first line, not when planned; a recording is never made
// over a file that appeared after the plan; a whole output replaces its target only at Finish.
TEST(OutputPlan, OutputsAreCreatedOnlyWhenOpened) {
  const testing::TempDir dir;
  WriteFile(dir.File("keep.csv"), "earlier");
  ::chmod(dir.File("keep.csv").c_str(), 0640);
  auto plan = OutputPlan::Make({},
                               {{"--streamed", dir.File("keep.csv"), OutputMode::kStreamed},
                                {"--recording", dir.File("rec.kss"), OutputMode::kRecording},
                                {"--whole", dir.File("whole.tlm"), OutputMode::kWhole}},
                               stdout);
  ASSERT_TRUE(plan.ok());
  PlannedOutput& streamed = *plan.value()->Find("--streamed");
  PlannedOutput& recording = *plan.value()->Find("--recording");
  PlannedOutput& whole = *plan.value()->Find("--whole");
  for (PlannedOutput* output : {&streamed, &recording, &whole}) {
    EXPECT_TRUE(output->Check().ok()) << output->option();
  }
  EXPECT_EQ(ReadFile(dir.File("keep.csv")), "earlier");
  EXPECT_EQ(dir.Listing(), "keep.csv\n");

  ASSERT_TRUE(streamed.Open().ok());
  std::fputs("line\n", streamed.stream());
  ASSERT_TRUE(streamed.Flush().ok());
  EXPECT_EQ(ReadFile(dir.File("keep.csv")), "line\n");
  ASSERT_TRUE(streamed.Finish().ok());
  struct stat info {};
  ASSERT_EQ(::stat(dir.File("keep.csv").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  WriteFile(dir.File("rec.kss"), "appeared since");
  const Status opened = recording.Open();
  ASSERT_FALSE(opened.ok());
  EXPECT_EQ(opened.error().message, dir.File("rec.kss") + ": File exists");
  EXPECT_EQ(ReadFile(dir.File("rec.kss")), "appeared since");

  ASSERT_TRUE(whole.Open().ok());
  std::fputs("report", whole.stream());
  EXPECT_EQ(dir.Listing(), "keep.csv\nrec.kss\n");
  whole.Discard();
  EXPECT_EQ(dir.Listing(), "keep.csv\nrec.kss\n");
}

// Check() tells what Open() would meet, without touching anything.
TEST(OutputPlan, CheckNamesTheReason) {
  const testing::TempDir dir;
  const std::pair<std::string, ErrorKind> cases[] = {
      {dir.File("missing/out.csv"), ErrorKind::kFolderMissing},
      {dir.path(), ErrorKind::kIsFolder},
  };
  for (const auto& [path, kind] : cases) {
    SCOPED_TRACE(path);
    PlannedOutput output({"--csv", path, OutputMode::kStreamed}, stdout);
    const Status checked = output.Check();
    ASSERT_FALSE(checked.ok());
    EXPECT_EQ(checked.error().kind, kind);
    EXPECT_EQ(checked.error().message.rfind(path + ": ", 0), 0u) << checked.error().message;
  }
}

// A recording takes the first free name: "-2", "-3", ... before the extension.
TEST(UnusedPath, SkipsEveryNameInUse) {
  const testing::TempDir dir;
  for (const char* name : {"pass.kss", "pass-2.kss", "plain", ".hidden"}) {
    WriteFile(dir.File(name), "");
  }
  fs::create_symlink("nowhere", dir.File("link.kss"));
  const std::pair<const char*, const char*> cases[] = {
      {"new.kss", "new.kss"},   {"pass.kss", "pass-3.kss"}, {"plain", "plain-2"},
      {".hidden", ".hidden-2"}, {"link.kss", "link-2.kss"},
  };
  for (const auto& [name, expected] : cases) {
    EXPECT_EQ(UnusedPath(dir.File(name)), dir.File(expected)) << name;
  }
}

}  // namespace
}  // namespace talphex
