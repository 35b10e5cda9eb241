#include "export/screenshot_name.h"

#include <gtest/gtest.h>

namespace talphex {
namespace {

struct NameCase {
  const char* image_path;
  const char* input_path;
  const char* expected;
};

TEST(ScreenshotFileName, FollowsTheCaptureName) {
  constexpr NameCase kCases[] = {
      {"/shots/", "/data/pass1.kss", "/shots/pass1.bmp"},
      // Only the text after the last dot is the extension.
      {"/shots/", "/data/pass.1.kss", "/shots/pass.1.bmp"},
      // A dot in a folder name is not an extension.
      {"/shots/", "/sat.data/pass1", "/shots/pass1.bmp"},
      // The folder is a prefix: without its separator the file lands beside it.
      {"/shots", "/data/pass1.kss", "/shotspass1.bmp"},
      {"", "pass1.kss", "pass1.bmp"},
      {"/shots/", "/data/.kss", "/shots/.bmp"},
  };
  for (const NameCase& c : kCases) {
    EXPECT_EQ(ScreenshotFileName(c.image_path, c.input_path), c.expected)
        << c.image_path << " + " << c.input_path;
  }
}

TEST(ScreenshotFileName, OtherSeparator) {
  EXPECT_EQ(ScreenshotFileName("D:\\SHOTS\\", "C:\\data\\pass1.kss", '\\'), "D:\\SHOTS\\pass1.bmp");
}

}  // namespace
}  // namespace talphex
