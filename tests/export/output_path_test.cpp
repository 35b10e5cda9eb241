#include "export/output_path.h"

#include <gtest/gtest.h>

namespace talphex {
namespace {

TEST(OutputPathFor, CutsTheFileNameAtItsFirstDot) {
  struct Case {
    const char* input;
    const char* suffix;
    char separator;
    const char* output;
  };
  constexpr Case kCases[] = {
      {"C:\\data\\pass.1.kss", ".csv", '\\', "C:\\data\\pass.csv"},
      {"C:\\data\\pass.1.kss", ".tlm", '\\', "C:\\data\\pass.tlm"},
      {"D:\\sat.data\\pass1.kss", ".csv", '\\', "D:\\sat.data\\pass1.csv"},
      {"/a.b/c", ".csv", '/', "/a.b/c.csv"},
      {"/home/op/2026-11-14.kss", "-payload.csv", '/', "/home/op/2026-11-14-payload.csv"},
      {"pass", ".csv", '/', "pass.csv"},
      {".hidden.kss", ".csv", '/', ".csv"},
      {"/data/a\\b.c.kss", ".csv", '/', "/data/a\\b.csv"},  // "\" is no separator here
  };
  for (const Case& c : kCases) {
    EXPECT_EQ(OutputPathFor(c.input, c.suffix, c.separator), c.output) << c.input;
  }
  EXPECT_EQ(OutputPathFor("/x.y/pass.kss", ".csv"), "/x.y/pass.csv") << "default separator";
}

}  // namespace
}  // namespace talphex
