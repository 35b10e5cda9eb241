#include "ui/conf_ini.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace talphex {
namespace {

struct ConfCase {
  const char* name;
  std::string text;
  std::optional<bool> screenshot_button;
  std::optional<std::string> image_path;
};

class ConfIniTest : public ::testing::TestWithParam<ConfCase> {};

TEST_P(ConfIniTest, Parses) {
  const ConfCase& c = GetParam();
  const ConfSettings settings = ParseConfIni(c.text);
  EXPECT_EQ(settings.screenshot_button, c.screenshot_button);
  EXPECT_EQ(settings.image_path, c.image_path);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConfIniTest,
    ::testing::Values(
        ConfCase{"Empty", "", std::nullopt, std::nullopt},
        ConfCase{"LowerCaseYesWithSpaces", "screenshot = yes\r\n", true, std::nullopt},
        ConfCase{"UpperCaseYes", "SCREENSHOT=YES\r\n", true, std::nullopt},
        ConfCase{"Y", "SCREENSHOT=Y\r\n", false, std::nullopt},
        ConfCase{"No", "SCREENSHOT=NO\r\n", false, std::nullopt},
        ConfCase{"EmptyValue", "SCREENSHOT=\r\n", false, std::nullopt},
        ConfCase{"TabIsNotTrimmed", "SCREENSHOT=YES\t\r\n", false, std::nullopt},
        ConfCase{"Comment", "#SCREENSHOT=NO\r\n", std::nullopt, std::nullopt},
        // A blank before "#" makes the key "#SCREENSHOT", which is no key at all.
        ConfCase{"BlankBeforeHash", " #SCREENSHOT=NO\r\n", std::nullopt, std::nullopt},
        ConfCase{"LastWins", "SCREENSHOT=NO\r\nSCREENSHOT=YES\r\n", true, std::nullopt},
        ConfCase{"LastWinsTheOtherWay", "SCREENSHOT=YES\r\nSCREENSHOT=NO\r\n", false, std::nullopt},
        ConfCase{"LfOnly", "SCREENSHOT=NO\nIMAGE_PATH=/tmp/a/\n", false, "/tmp/a/"},
        ConfCase{"CrOnly", "SCREENSHOT=NO\rIMAGE_PATH=/tmp/a/\r", false, "/tmp/a/"},
        ConfCase{"CrLfNoFinalEnd", "SCREENSHOT=NO\r\nIMAGE_PATH=/tmp/a/", false, "/tmp/a/"},
        ConfCase{"EmptyLines", "\r\n\r\nSCREENSHOT=YES\r\n\r\n", true, std::nullopt},
        // A line without "=" is ignored rather than taken as the previous key's value.
        ConfCase{"LineWithoutEquals", "IMAGE_PATH=/tmp/a/\r\n/elsewhere/\r\n", std::nullopt,
                 "/tmp/a/"},
        ConfCase{"ImagePathKeepsCase", "image_path = /home/Ham/Shots/ \r\n", std::nullopt,
                 "/home/Ham/Shots/"},
        ConfCase{"ValueAfterFirstEquals", "IMAGE_PATH=/tmp/a=b/\r\n", std::nullopt, "/tmp/a=b/"},
        ConfCase{"OtherKeysIgnored", "COLOUR=RED\r\nSCREENSHOTS=YES\r\n", std::nullopt,
                 std::nullopt}),
    [](const ::testing::TestParamInfo<ConfCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace talphex
