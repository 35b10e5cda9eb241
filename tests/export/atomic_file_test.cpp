#include "export/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "robustness/robustness_helpers.h"

namespace talphex {
namespace {

using testing::ReadFile;

TEST(AtomicFile, TargetIsReplacedOnlyOnCommit) {
  const testing::TempDir dir;
  const std::string target = dir.File("out.csv");
  testing::WriteFile(target, "old");
  AtomicFile file(target);
  ASSERT_TRUE(file.Open().ok());
  std::fputs("new", file.stream());
  std::fflush(file.stream());
  EXPECT_EQ(ReadFile(target), "old") << "readers see the old file while writing";
  ASSERT_TRUE(file.Commit().ok());
  EXPECT_EQ(ReadFile(target), "new");
  EXPECT_EQ(dir.Listing(), "out.csv\n") << "no temporary file is left behind";
}

// Regression: writing through a symbolic link replaced the link by a file.
TEST(AtomicFile, LinkIsWrittenThroughAndStaysALink) {
  const testing::TempDir dir;
  testing::WriteFile(dir.File("real.csv"), "old");
  std::filesystem::create_symlink(dir.File("real.csv"), dir.File("link.csv"));
  ASSERT_TRUE(WriteFileAtomically(dir.File("link.csv"), [](std::FILE* out) {
                std::fputs("new", out);
              }).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.csv")));
  EXPECT_EQ(ReadFile(dir.File("real.csv")), "new");
  EXPECT_EQ(dir.Listing(), "link.csv\nreal.csv\n");
}

TEST(AtomicFile, DeviceIsWrittenInPlace) {
  const Status status =
      WriteFileAtomically("/dev/null", [](std::FILE* out) { std::fputs("x", out); });
  EXPECT_TRUE(status.ok()) << status.error();
  EXPECT_TRUE(std::filesystem::is_character_file("/dev/null"));
}

}  // namespace
}  // namespace talphex
