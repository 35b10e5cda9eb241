// SPDX-License-Identifier: GPL-3.0-or-later
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <new>

#include "cli/cli.h"
#include "core/export/atomic_file.h"

int main(int argc, char** argv) {
  // A closed standard stream gets a placeholder that refuses writes, so that no file opened later
  // takes its number and receives the summary, and writing to it fails as it should.
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) < 0) ::open("/dev/null", fd == 0 ? O_WRONLY : O_RDONLY);
  }
  talphex::RemoveTemporaryFilesOnSignals();
  talphex::EndOnAllocationFailure("talphex-cli: out of memory\n");
  try {
    return talphex::RunCli(argc, argv, stdout, stderr);
  } catch (const std::bad_alloc&) {
    // Unwinding has removed the temporary files; the outputs are as they were.
    std::fputs("talphex-cli: out of memory\n", stderr);
    return 1;
  }
}
