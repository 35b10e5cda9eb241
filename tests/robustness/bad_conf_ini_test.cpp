// conf.ini of random bytes: parsing never fails, and a key line after any garbage still counts.

#include <string>

#include "gtest/gtest.h"
#include "robustness/robustness_helpers.h"
#include "ui/conf_ini.h"

namespace talphex {
namespace {

using testing::RandomBytes;

TEST(BadConfIni, RandomBytesSetNothingAndLaterKeysStillApply) {
  for (std::uint64_t seed = 1; seed <= 64; ++seed) {
    SCOPED_TRACE(seed);
    // Sizes from a few bytes to 64 KiB; NUL, CR, LF, "=" and "#" all occur.
    const std::string garbage = RandomBytes(seed, (seed * seed * 16) % 65536 + 1);
    const ConfSettings settings = ParseConfIni(garbage);
    EXPECT_FALSE(settings.image_path.has_value());
    EXPECT_FALSE(settings.screenshot_button.has_value());

    const ConfSettings keyed =
        ParseConfIni(garbage + "\r\nImage_Path =  /home/ham/shots/ \r\nscreenshot=yes\r\n");
    EXPECT_EQ(keyed.image_path, "/home/ham/shots/");
    EXPECT_EQ(keyed.screenshot_button, true);
  }
}

TEST(BadConfIni, LinesOfOnlySeparatorsAndBlanks) {
  struct Case {
    const char* name;
    std::string text;
  };
  const Case cases[] = {
      {"Empty", ""},
      {"OnlyLineEnds", "\r\n\r\n\n\r\r"},
      {"OnlyEquals", "=\r\n==\r\n = \r\n"},
      {"EmptyKeyWithValue", "=YES\r\n"},
      {"NulBytes", std::string("IMAGE_PATH\0=x\r\nSCREENSHOT\0=YES", 30)},
      {"TabsAroundKey", "\tSCREENSHOT\t=YES\r\n\tIMAGE_PATH=/x\r\n"},
      {"CommentedKeys", "#SCREENSHOT=YES\r\n#IMAGE_PATH=/x\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const ConfSettings settings = ParseConfIni(c.text);
    EXPECT_FALSE(settings.image_path.has_value());
    EXPECT_FALSE(settings.screenshot_button.has_value());
  }
}

}  // namespace
}  // namespace talphex
