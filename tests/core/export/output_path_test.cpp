// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/output_path.h"

#include <gtest/gtest.h>

#include <tuple>

#include "core/export/screenshot_name.h"

namespace talphex {
namespace {

TEST(OutputPathFor, CutsTheFileNameAtItsFirstDot) {
  const std::tuple<const char*, char, const char*> kCases[] = {
      {"C:\\data\\pass.1.kss", '\\', "C:\\data\\pass.csv"},
      {"D:\\sat.data\\pass1.kss", '\\', "D:\\sat.data\\pass1.csv"},
      {"/a.b/c", '/', "/a.b/c.csv"},
      {"pass", '/', "pass.csv"},
      {".hidden.kss", '/', ".csv"},
      {"/data/a\\b.c.kss", '/', "/data/a\\b.csv"},  // "\" is no separator here
  };
  for (const auto& [input, separator, output] : kCases) {
    EXPECT_EQ(OutputPathFor(input, ".csv", separator), output) << input;
  }
  EXPECT_EQ(OutputPathFor("/x.y/pass.kss", ".csv"), "/x.y/pass.csv") << "default separator";
}

// A chart picture is named after the capture and the field, beside the capture.
TEST(ChartPicturePath, CaptureNameDashCaption) {
  EXPECT_EQ(ChartPicturePath("/data/pass.1.kss", "Temp X+ Panel"), "/data/pass-Temp X+ Panel.png");
  EXPECT_EQ(ChartPicturePath("C:\\d\\p.kss", "A/B\\C\xB5\n", '\\'), "C:\\d\\p-A_B_C__.png");
}

// Only the text after the last dot of the file name is its extension; the folder is a prefix, so
// without its separator the file lands beside it.
TEST(ScreenshotFileName, FollowsTheCaptureName) {
  EXPECT_EQ(ScreenshotFileName("D:\\SHOTS\\", "C:\\data\\pass1.kss", '\\'), "D:\\SHOTS\\pass1.bmp");
  EXPECT_EQ(ScreenshotFileName("/shots/", "/data/pass.1.kss"), "/shots/pass.1.bmp");
  EXPECT_EQ(ScreenshotFileName("/shots/", "/sat.data/pass1"), "/shots/pass1.bmp");
  EXPECT_EQ(ScreenshotFileName("/shots", "/data/pass1.kss"), "/shotspass1.bmp");
  EXPECT_EQ(ScreenshotFileName("", "pass1.kss"), "pass1.bmp");
}

}  // namespace
}  // namespace talphex
