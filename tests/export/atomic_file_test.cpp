#include "export/atomic_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "export/test_files.h"

namespace talphex {
namespace {

namespace fs = std::filesystem;
using testing::ReadFile;

class AtomicFileTest : public testing::TempFolderTest {
 protected:
  std::size_t EntryCount() const {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder_), fs::directory_iterator()));
  }
};

TEST_F(AtomicFileTest, TargetAppearsOnlyOnCommit) {
  const fs::path target = folder_ / "out.csv";
  testing::WriteFile(target, "old");
  {
    AtomicFile file(target.string());
    ASSERT_TRUE(file.Open().ok());
    std::fputs("new content", file.stream());
    std::fflush(file.stream());
    EXPECT_EQ(ReadFile(target), "old") << "readers see the old file while writing";
    ASSERT_TRUE(file.Commit().ok());
  }
  EXPECT_EQ(ReadFile(target), "new content");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, LinkIsWrittenThroughAndStaysALink) {
  const fs::path real = folder_ / "real.csv";
  const fs::path link = folder_ / "link.csv";
  testing::WriteFile(real, "old");
  fs::create_symlink(real, link);
  AtomicFile file(link.string());
  ASSERT_TRUE(file.Open().ok());
  std::fputs("new", file.stream());
  ASSERT_TRUE(file.Commit().ok());
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(ReadFile(real), "new");
  EXPECT_EQ(EntryCount(), 2u);
}

TEST_F(AtomicFileTest, UncommittedFileIsDiscarded) {
  const fs::path target = folder_ / "out.csv";
  testing::WriteFile(target, "old");
  {
    AtomicFile file(target.string());
    ASSERT_TRUE(file.Open().ok());
    std::fputs("half", file.stream());
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, FailuresNameThePath) {
  fs::create_directories(folder_ / "folder.csv");
  const std::string kCases[] = {
      (folder_ / "missing" / "out.csv").string(),
      (folder_ / "folder.csv").string(),
      "/proc/talphex-cannot-be-created.csv",
  };
  for (const std::string& path : kCases) {
    const Status status = WriteFileAtomically(path, [](std::FILE* out) { std::fputs("x", out); });
    ASSERT_FALSE(status.ok()) << path;
    EXPECT_EQ(status.error().rfind(path + ": ", 0), 0u) << status.error();
    EXPECT_GT(status.error().size(), path.size() + 2) << "a reason follows the path";
  }
  EXPECT_EQ(EntryCount(), 1u);
}

TEST_F(AtomicFileTest, DeviceIsWrittenInPlaceAndAFullOneFails) {
  const Status to_null =
      WriteFileAtomically("/dev/null", [](std::FILE* out) { std::fputs("discarded", out); });
  EXPECT_TRUE(to_null.ok()) << to_null.error();
  const Status to_full =
      WriteFileAtomically("/dev/full", [](std::FILE* out) { std::fputs("no room", out); });
  ASSERT_FALSE(to_full.ok());
  EXPECT_EQ(to_full.error().rfind("/dev/full: ", 0), 0u) << to_full.error();
}

}  // namespace
}  // namespace talphex
