// SPDX-License-Identifier: GPL-3.0-or-later
// What a replaced output keeps (its mode, the links that name it), what a new one gets (the
// umask), failed writes that must not pass for success, and the signals that end a write.
#include "core/export/atomic_file.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "core/base/output.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

using testing::ReadFile;
using testing::WriteFile;

constexpr char kEarlier[] = "earlier content\n";

mode_t ModeOf(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// A replaced file keeps its mode whatever the umask, as a shell's ">" keeps it; a new one gets
// 0666 less the umask.
TEST(AtomicFile, ModesOfNewAndReplacedFiles) {
  struct Case {
    std::optional<mode_t> existing;  // nothing: no file yet
    mode_t umask;
    mode_t result;
  };
  constexpr Case kCases[] = {
      {std::nullopt, 022, 0644}, {std::nullopt, 077, 0600}, {std::nullopt, 0, 0666},
      {std::nullopt, 027, 0640}, {0600, 022, 0600},         {0640, 077, 0640},
      {0666, 077, 0666},         {0755, 0, 0755},           {02664, 022, 02664},
  };
  const mode_t umask_before = ::umask(022);
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message()
                 << std::oct << "existing " << c.existing.value_or(0) << ", umask " << c.umask);
    const testing::TempDir dir;
    const std::string path = dir.File("out.csv");
    if (c.existing) {
      WriteFile(path, kEarlier);
      ASSERT_EQ(::chmod(path.c_str(), *c.existing), 0);
    }
    ::umask(c.umask);
    const Status written = WriteFileAtomically(path, [](std::FILE* out) { Put(out, "new"); });
    ::umask(022);
    ASSERT_TRUE(written.ok()) << written.error().message;
    EXPECT_EQ(ModeOf(path), c.result) << std::oct << ModeOf(path);
    EXPECT_EQ(ReadFile(path), "new");
    EXPECT_EQ(dir.Listing(), "out.csv\n");
  }
  ::umask(umask_before);
}

// Regression: writing through a symbolic link replaced the link by a file.
TEST(AtomicFile, LinkIsWrittenThroughAndStaysALink) {
  const testing::TempDir dir;
  WriteFile(dir.File("real.csv"), "old");
  std::filesystem::create_symlink(dir.File("real.csv"), dir.File("link.csv"));
  ASSERT_TRUE(
      WriteFileAtomically(dir.File("link.csv"), [](std::FILE* out) { Put(out, "new"); }).ok());
  EXPECT_TRUE(std::filesystem::is_symlink(dir.File("link.csv")));
  EXPECT_EQ(ReadFile(dir.File("real.csv")), "new");
  EXPECT_EQ(dir.Listing(), "link.csv\nreal.csv\n");
}

// A pipe whose reader has gone fails the commit, whether the failed write is one the stream
// reported at once (whole buffers go straight to the pipe) or one left for the flush.
TEST(AtomicFile, CommitToAPipeWithoutReaderFails) {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  ASSERT_EQ(::sigaction(SIGPIPE, &ignore, &before), 0);
  for (const std::size_t size : {std::size_t{100}, std::size_t{4096}, std::size_t{64 * 1024},
                                 std::size_t{64 * 1024 + 100}}) {
    SCOPED_TRACE(size);
    int ends[2];
    ASSERT_EQ(::pipe(ends), 0);
    ::close(ends[0]);
    const std::string path = "/dev/fd/" + std::to_string(ends[1]);
    AtomicFile file(path);
    ASSERT_TRUE(file.Open().ok());
    std::fwrite(std::string(size, 'x').data(), 1, size, file.stream());
    const Status committed = file.Commit();
    ::close(ends[1]);
    ASSERT_FALSE(committed.ok());
    EXPECT_EQ(committed.error().kind, ErrorKind::kWriteFailed);
    EXPECT_EQ(committed.error().message, path + ": Broken pipe");
  }
  ::sigaction(SIGPIPE, &before, nullptr);
}

// A signal that ends the program during a write leaves the target as it was and no temporary
// file; one the caller set to ignore (as "trap '' HUP" or nohup do) stays ignored, and the write
// completes. Each run is a child process, which the signal may end.
TEST(AtomicFile, SignalsDuringAWrite) {
  struct Case {
    int signal_number;
    bool ignored;
  };
  constexpr Case kCases[] = {
      {SIGINT, false}, {SIGTERM, false}, {SIGHUP, false}, {SIGHUP, true}, {SIGPIPE, true},
  };
  for (const Case& c : kCases) {
    SCOPED_TRACE(::testing::Message()
                 << strsignal(c.signal_number) << (c.ignored ? " ignored" : ""));
    const testing::TempDir dir;
    WriteFile(dir.File("out.csv"), kEarlier);
    const pid_t child = ::fork();
    if (child == 0) {
      // As the caller left it: a shell starts background jobs with SIGINT ignored.
      ::signal(c.signal_number, c.ignored ? SIG_IGN : SIG_DFL);
      RemoveTemporaryFilesOnSignals();
      const Status written = WriteFileAtomically(dir.File("out.csv"), [&](std::FILE* out) {
        Put(out, std::string(1 << 20, 'x'));
        ::raise(c.signal_number);
      });
      ::_exit(written.ok() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    if (c.ignored) {
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
      EXPECT_TRUE(ReadFile(dir.File("out.csv")) == std::string(1 << 20, 'x'));
    } else {
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == c.signal_number) << status;
      EXPECT_EQ(ReadFile(dir.File("out.csv")), kEarlier);
    }
    EXPECT_EQ(dir.Listing(), "out.csv\n");
  }
}

}  // namespace
}  // namespace talphex
