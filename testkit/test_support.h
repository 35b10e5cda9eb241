// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// Test helpers: files read and written whole, random bytes, an environment variable set for a
// while, a temporary folder, and the command-line decoder run in-process or in a child process.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <random>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "cli/cli.h"

namespace talphex::testing {

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteFile(const std::filesystem::path& path, std::string_view content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Everything `write` puts into the FILE* it is given.
template <typename Writer>
std::string Captured(Writer&& write) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  write(out);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// Bytes of a fixed pseudo-random sequence: the engine's output is the same everywhere.
inline std::string RandomBytes(std::uint64_t seed, std::size_t size) {
  std::mt19937_64 engine(seed);
  std::string bytes(size, '\0');
  for (char& byte : bytes) byte = static_cast<char>(engine() >> 56);
  return bytes;
}

// Sets an environment variable while it lives.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const std::optional<std::string>& value) : name_(name) {
    if (const char* old = std::getenv(name)) saved_ = old;
    if (value) {
      ::setenv(name, value->c_str(), 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (saved_) {
      ::setenv(name_, saved_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> saved_;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir() : path_((std::filesystem::temp_directory_path() / "talphex-XXXXXX").string()) {
    if (::mkdtemp(path_.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Names of the entries, sorted; shows temporary files left behind.
  std::string Listing() const {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.insert(entry.path().filename());
    }
    std::string text;
    for (const std::string& name : names) text += name + "\n";
    return text;
  }

 private:
  std::string path_;
};

struct CliRun {
  int status = -1;
  std::string out, err;
};

inline int RunCliTo(std::FILE* out, std::FILE* err, std::vector<std::string> args) {
  args.insert(args.begin(), "talphex-cli");
  std::vector<const char*> argv;
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return RunCli(static_cast<int>(argv.size()), argv.data(), out, err);
}

inline CliRun RunCliWith(const std::vector<std::string>& args) {
  CliRun run;
  run.out = Captured([&](std::FILE* out) {
    run.err = Captured([&](std::FILE* err) { run.status = RunCliTo(out, err, args); });
  });
  return run;
}

// Runs `body` in a child process, so that limits it sets bind nothing else, and returns its
// result and what it wrote to `err`. With `as_ordinary_user`, a child of root first drops to user
// "nobody", so that file permissions bind as they do for users.
inline CliRun RunInChild(const std::function<int(std::FILE* err)>& body, bool as_ordinary_user) {
  std::FILE* err = std::tmpfile();  // shared with the child, offset included
  std::fflush(nullptr);
  const pid_t child = ::fork();
  if (child == 0) {
    constexpr uid_t kNobody = 65534;
    const bool dropped =
        !as_ordinary_user || ::geteuid() != 0 || (::setgid(kNobody) == 0 && ::setuid(kNobody) == 0);
    const int status = dropped ? body(err) : 125;
    std::fflush(err);
    ::_exit(status);
  }
  CliRun run;
  int wait_status = 0;
  if (child > 0 && ::waitpid(child, &wait_status, 0) == child && WIFEXITED(wait_status)) {
    run.status = WEXITSTATUS(wait_status);
  }
  std::rewind(err);
  for (int c = 0; (c = std::fgetc(err)) != EOF;) run.err.push_back(static_cast<char>(c));
  std::fclose(err);
  return run;
}

}  // namespace talphex::testing
