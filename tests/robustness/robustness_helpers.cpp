#include "robustness/robustness_helpers.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "app/cli.h"

namespace talphex::testing {
namespace {

namespace fs = std::filesystem;

std::string ReadStream(std::FILE* stream) {
  std::string text;
  std::rewind(stream);
  char buffer[4096];
  std::size_t got = 0;
  while ((got = std::fread(buffer, 1, sizeof buffer, stream)) > 0) text.append(buffer, got);
  return text;
}

std::string ReadAll(int fd) {
  std::string text;
  char buffer[4096];
  ssize_t got = 0;
  while ((got = ::read(fd, buffer, sizeof buffer)) > 0) {
    text.append(buffer, static_cast<std::size_t>(got));
  }
  return text;
}

}  // namespace

TempDir::TempDir() {
  std::string pattern = (fs::temp_directory_path() / "talphex-robust-XXXXXX").string();
  if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code error;
  // Give back write rights a test may have taken away, so that the folder can be removed.
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, error);
  fs::remove_all(path_, error);
}

std::string TempDir::Listing() const {
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(path_)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  std::string text;
  for (const std::string& name : names) text += name + "\n";
  return text;
}

void WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!file) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  if (!file) throw std::runtime_error("cannot read " + path);
  return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

std::string RandomBytes(std::uint64_t seed, std::size_t size) {
  std::string bytes(size, '\0');
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ULL + 1;
  for (char& byte : bytes) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<char>(state >> 24);
  }
  return bytes;
}

CliRun RunCliWith(std::initializer_list<std::string> args) {
  std::vector<const char*> argv = {"talphex-cli"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  if (out == nullptr || err == nullptr) throw std::runtime_error("tmpfile failed");
  CliRun run;
  run.status = RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
  std::fflush(out);
  std::fflush(err);
  run.out = ReadStream(out);
  run.err = ReadStream(err);
  std::fclose(out);
  std::fclose(err);
  return run;
}

CliRun RunInChild(const std::function<int(std::FILE* err)>& body, bool as_ordinary_user) {
  int pipe_fds[2];
  if (::pipe(pipe_fds) != 0) throw std::runtime_error("pipe failed");
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::close(pipe_fds[0]);
    constexpr uid_t kNobody = 65534;
    if (as_ordinary_user && ::geteuid() == 0 &&
        (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)) {
      ::_exit(125);
    }
    std::FILE* err = ::fdopen(pipe_fds[1], "w");
    const int status = body(err);
    std::fclose(err);
    ::_exit(status);
  }
  ::close(pipe_fds[1]);
  CliRun run;
  run.err = ReadAll(pipe_fds[0]);
  ::close(pipe_fds[0]);
  int wait_status = 0;
  ::waitpid(child, &wait_status, 0);
  run.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return run;
}

}  // namespace talphex::testing
