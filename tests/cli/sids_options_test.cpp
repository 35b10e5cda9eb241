// SPDX-License-Identifier: GPL-3.0-or-later
// The SiDS options as the command line is parsed: the station from the options, else from the
// user's conf.ini, and every problem refused before anything is read, naming the option or the
// key and file. (The careless-command table runs a few more refusals end to end.)
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "cli/cli_options.h"
#include "testkit/test_support.h"

namespace talphex {
namespace {

struct OptionsCase {
  const char* name;
  const char* conf_ini;  // nullptr: none
  std::vector<std::string> args;
  // The problem ("@" stands for the configuration folder); empty when the options are taken.
  std::string problem;
  // What is taken: the callsign, the position and whether files are shared.
  const char* callsign = "";
  double longitude = 0;
  double latitude = 0;
  bool files = false;
};

constexpr char kStation[] = "CALLSIGN=EA4/G0ABC\r\nLONGITUDE=-3.70379\r\nLATITUDE=40.41678\r\n";

TEST(SidsOptions, StationFromOptionsElseConfIniAndEveryProblemNamed) {
  const std::vector<std::string> sids = {"--sids", "--norad-id", "99999"};
  const auto with = [&sids](std::vector<std::string> more) {
    more.insert(more.begin(), sids.begin(), sids.end());
    return more;
  };
  const OptionsCase cases[] = {
      {"AllFromOptions", nullptr,
       with({"-", "--callsign", "DL1ABC", "--longitude", "8.5", "--latitude", "-49"}), "", "DL1ABC",
       8.5, -49, false},
      {"AllFromConfIni", kStation, with({"-"}), "", "EA4/G0ABC", -3.70379, 40.41678, false},
      {"OptionsBeforeConfIni", kStation,
       with({"--kiss-tcp", "localhost:8001", "--callsign", "DL1ABC", "--latitude", "1"}), "",
       "DL1ABC", -3.70379, 1, false},
      {"CaptureFilesShared", kStation, with({"a.kss", "--sids-files"}), "", "EA4/G0ABC", -3.70379,
       40.41678, true},
      {"OnlyTheCallsignMissing", "LONGITUDE=1\nLATITUDE=2\n", with({"-"}),
       "--sids needs the station's callsign: give --callsign, or set CALLSIGN in "
       "@/talphex/conf.ini"},
      {"NoSatellite",
       kStation,
       {"-", "--sids"},
       "--sids needs --norad-id N, the satellite's NORAD catalogue number"},
      {"BadCallsignOption", kStation, with({"-", "--callsign", "DL1 ABC"}),
       "--callsign: \"DL1 ABC\" is not a callsign of letters, digits, - and /"},
      {"BadCallsignInConfIni", "CALLSIGN=DL1_ABC\nLONGITUDE=1\nLATITUDE=2\n", with({"-"}),
       "CALLSIGN in @/talphex/conf.ini: \"DL1_ABC\" is not a callsign of letters, digits, - and "
       "/"},
      {"LongitudeOutOfRange", kStation, with({"-", "--longitude", "-180.5"}),
       "--longitude: \"-180.5\" is not decimal degrees from -180 to 180"},
      {"LatitudeInConfIniOutOfRange", "CALLSIGN=A\nLONGITUDE=1\nLATITUDE=91\n", with({"-"}),
       "LATITUDE in @/talphex/conf.ini: \"91\" is not decimal degrees from -90 to 90"},
      {"NoHost", kStation, with({"-", "--sids-url", "http:///api/"}),
       "--sids-url: \"http:///api/\" has no host"},
      {"NoradIdZero",
       kStation,
       {"-", "--sids", "--norad-id", "0"},
       "--norad-id: N must be a whole number from 1 to 999999999"},
      {"WaitTooLong", kStation, with({"-", "--sids-wait", "3601"}),
       "--sids-wait: S must be a number of seconds from 0 to 3600"},
      {"WaitNotANumber", kStation, with({"-", "--sids-wait", "nan"}),
       "--sids-wait: S must be a number of seconds from 0 to 3600"},
      {"FilesWithoutSids", kStation, {"a.kss", "--sids-files"}, "--sids-files needs --sids"},
  };
  for (const OptionsCase& c : cases) {
    SCOPED_TRACE(c.name);
    const testing::TempDir dir;
    const testing::ScopedEnv config("XDG_CONFIG_HOME", dir.path());
    if (c.conf_ini != nullptr) {
      std::filesystem::create_directory(dir.File("talphex"));
      testing::WriteFile(dir.File("talphex/conf.ini"), c.conf_ini);
    }
    std::vector<const char*> argv = {"talphex-cli"};
    for (const std::string& arg : c.args) argv.push_back(arg.c_str());
    const Expected<CliOptions> parsed =
        ParseCommandLine(static_cast<int>(argv.size()), argv.data());
    if (!c.problem.empty()) {
      ASSERT_FALSE(parsed.ok());
      EXPECT_EQ(parsed.error().kind, ErrorKind::kUsage);
      std::string problem = c.problem;
      if (const std::size_t at = problem.find('@'); at != std::string::npos) {
        problem.replace(at, 1, dir.path());
      }
      EXPECT_EQ(parsed.error().message,
                "talphex-cli: " + problem + "\nRun with --help for more information.\n");
      continue;
    }
    ASSERT_TRUE(parsed.ok()) << parsed.error().message;
    ASSERT_TRUE(parsed.value().sids.has_value());
    const SidsOptions& options = *parsed.value().sids;
    EXPECT_EQ(options.settings.station.norad_id, 99999);
    EXPECT_EQ(options.settings.station.callsign, c.callsign);
    EXPECT_DOUBLE_EQ(options.settings.station.longitude, c.longitude);
    EXPECT_DOUBLE_EQ(options.settings.station.latitude, c.latitude);
    EXPECT_EQ(options.files, c.files);
    EXPECT_EQ(options.settings.server, "db.satnogs.org");
    EXPECT_EQ(options.wait, std::chrono::seconds(5));
  }
}

}  // namespace
}  // namespace talphex
