#include "export/screenshot_name.h"

#include <gtest/gtest.h>

namespace talphex {
namespace {

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
