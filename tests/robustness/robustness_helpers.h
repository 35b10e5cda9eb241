#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace talphex::testing {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string File(std::string_view name) const { return path_ + "/" + std::string(name); }
  // Names of the entries in the folder, sorted; shows temporary files left behind.
  std::string Listing() const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, std::string_view bytes);
std::string ReadFile(const std::string& path);

// Bytes of a fixed pseudo-random sequence, the same on every run.
std::string RandomBytes(std::uint64_t seed, std::size_t size);

struct CliRun {
  int status = -1;
  std::string out;
  std::string err;
};

// Runs the command-line decoder in-process with captured output streams.
CliRun RunCliWith(std::initializer_list<std::string> args);

// Runs `body` in a child process, so that limits it sets bind nothing else, and returns its
// result and the text it wrote to its stream. With `as_ordinary_user`, a child of root first
// drops to user "nobody", so that file permissions bind as they do for users.
CliRun RunInChild(const std::function<int(std::FILE* err)>& body, bool as_ordinary_user);

}  // namespace talphex::testing
