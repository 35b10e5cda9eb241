// SPDX-License-Identifier: GPL-3.0-or-later
// Writes the bundled sample capture: one pass of about ten minutes as a ground station's TNC
// would have recorded it, with slowly varying, physically plausible telemetry.
//
//   make-sample-capture OUTPUT.kss

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>

#include "core/capture/capture_loader.h"
#include "core/decode/field_readers.h"
#include "core/export/atomic_file.h"
#include "testkit/capture_writer.h"

namespace {

using talphex::BeaconRaw;
using talphex::PayloadRaw;

// A small fixed generator, so that the sample is the same on every machine.
class Noise {
 public:
  double Next() {  // uniform in [-1, 1)
    state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
    return static_cast<double>(state_ >> 11) / 4503599627370496.0 - 1.0;
  }

 private:
  std::uint64_t state_ = 0x7A1F4E5ULL;
};

template <typename T>
T Count(double value, double scale) {
  return static_cast<T>(std::lround(value / scale));
}

constexpr std::int64_t kPassStart = 1794649260;  // 2026-11-14 09:41:00 UTC
constexpr int kPassSeconds = 600;
constexpr int kBeaconPeriod = 7;    // seconds between beacon frames
constexpr int kPayloadPeriod = 23;  // seconds between payload frames

BeaconRaw Beacon(int t, int number, Noise& noise) {
  const double phase = static_cast<double>(t) / kPassSeconds;  // 0 .. 1 over the pass
  const double sun = std::max(0.0, std::sin(3.14159 * (0.15 + 0.9 * phase)));
  BeaconRaw raw;
  raw.message_number = static_cast<std::uint16_t>(4120 + number);
  raw.posix_time = static_cast<std::uint32_t>(kPassStart + t - 1);
  raw.mode = static_cast<std::uint8_t>(std::min(5, t * 6 / kPassSeconds));
  raw.idle_timer = static_cast<std::uint16_t>(t % (kPassSeconds / 6));
  const double battery = 7.9 + 0.3 * sun + 0.01 * noise.Next();
  raw.battery = Count<std::uint16_t>(battery, 0.009765);
  raw.battery2 = Count<std::uint16_t>(battery - 0.02, 0.009765);
  const double sp[5] = {310 * sun, 40 * (1 - sun), 180 * sun, 95 * sun, 12.0};
  for (int i = 0; i < 5; ++i) {
    raw.sp_current[i] = Count<std::int16_t>(sp[i] + 2 * noise.Next(), 0.244);
  }
  for (int i = 0; i < 6; ++i) {
    const double board = 18 + 3 * i + 6 * phase + 0.3 * noise.Next();
    raw.board_temp[i] = Count<std::uint16_t>(board + 273.15, 0.49);
  }
  const double panel[5] = {-12 + 8 * phase, 4 + 22 * sun, 10 + 14 * sun, -25 + 10 * phase,
                           2 + 18 * phase};
  for (int i = 0; i < 5; ++i) {
    raw.panel_temp[i] = Count<std::int16_t>(panel[i] + 0.2 * noise.Next(), 0.0625);
  }
  const double currents_ma[9] = {1.9, 95 + 40 * sun, 2.4, 3.1, 120, 4.6, 0.85, 3.3, 38 * sun};
  const double scales[9] = {0.00025,  0.00489,   0.00025,  0.00025, 1,
                            0.000244, 0.0000651, 0.000195, 0.0025};
  for (int i = 0; i < 9; ++i) {
    raw.current[i] = Count<std::int16_t>(currents_ma[i] * (1 + 0.02 * noise.Next()), scales[i]);
  }
  const double angle = 6.2832 * phase * 1.3;
  raw.mag_field = {static_cast<float>(2200 * std::cos(angle) + 5 * noise.Next()),
                   static_cast<float>(-1400 * std::sin(angle) + 5 * noise.Next()),
                   static_cast<float>(3100 - 900 * phase + 5 * noise.Next())};
  return raw;
}

PayloadRaw Payload(int t, int number, Noise& noise) {
  const double phase = static_cast<double>(t) / kPassSeconds;
  PayloadRaw raw;
  const bool ch1_on = number >= 2;
  const bool ch2_on = number >= 9 && number < 21;
  const bool laser = number >= 5 && number < 18;
  std::uint16_t word0 = 0;
  if (ch1_on) word0 |= 1 << 3 | 1 << 5;
  if (ch2_on) word0 |= 1 << 6 | 1 << 8;
  if (laser) word0 |= 1 << 9 | 1 << 11 | static_cast<std::uint16_t>(1 << (12 + number % 4));
  if (number == 13) word0 |= 1 << 0 | 1 << 1;
  auto channel_word = [&](bool on, int channel) {
    std::uint16_t word = static_cast<std::uint16_t>(channel);
    if (!on) return word;
    word |= 1 << 2 | 1 << 4 | 1 << 5 | 1 << 7 | 1 << 8 | 1 << 10;
    if (number % 3 != 0) word |= 1 << 11;  // TEC lock comes and goes
    if (number == 16) word |= 1 << 1 | 1 << 13;
    return word;
  };
  raw.status = {word0, channel_word(ch1_on, 0), channel_word(ch2_on, 1)};
  raw.power_temp = {Count<std::int16_t>(21 + 9 * phase + 0.3 * noise.Next(), 0.0625),
                    Count<std::int16_t>(19 + (ch2_on ? 7 : 0) * phase, 0.0625)};
  raw.battery = Count<std::int16_t>(7.95 + 0.02 * noise.Next(), 305.18e-6 * 3.5);
  raw.powsec_temp = {Count<std::int16_t>(24 + 5 * phase, 0.0625),
                     Count<std::int16_t>(22 + 4 * phase, 0.0625)};
  raw.csac_temp = {Count<std::int16_t>(ch1_on ? 45.2 + 0.1 * noise.Next() : 23, 0.01),
                   Count<std::int16_t>(ch2_on ? 44.8 + 0.1 * noise.Next() : 22, 0.01)};
  const double current_unit = 7.04 * 19.975 / 1000000 / 0.1;
  raw.current = {Count<std::int16_t>(ch1_on ? 14.5 + 0.3 * noise.Next() : 0.2, current_unit),
                 Count<std::int16_t>(ch2_on ? 13.8 + 0.3 * noise.Next() : 0.2, current_unit)};
  raw.supervisor_time = static_cast<std::uint16_t>(3600 + t);
  raw.overflow_time = static_cast<std::uint32_t>(3000000000u + static_cast<unsigned>(t));
  return raw;
}

std::string Timestamp(std::int64_t posix_seconds) {
  return talphex::DateTimeText(talphex::PosixToDateTime(posix_seconds));
}

}  // namespace

int main(int argc, char** argv) {
  const std::string_view first = argc > 1 ? argv[1] : "";
  if (first == "--help" || first == "-h") {
    std::printf("usage: make-sample-capture OUTPUT.kss\n");
    return 0;
  }
  if (argc != 2 || first.starts_with('-')) {
    std::fprintf(stderr, "usage: make-sample-capture OUTPUT.kss\n");
    return 2;
  }
  Noise noise;
  talphex::CaptureWriter writer;
  int beacons = 0;
  int payloads = 0;
  for (int t = 0; t < kPassSeconds; ++t) {
    const bool beacon_due = t % kBeaconPeriod == 3;
    const bool payload_due = t % kPayloadPeriod == 11;
    if (!beacon_due && !payload_due) continue;
    writer.AddTimestamp(Timestamp(kPassStart + t));
    if (beacon_due) {
      writer.AddFrame(talphex::kBeaconMarker, talphex::EncodeBeaconBody(Beacon(t, beacons, noise)));
      ++beacons;
    }
    if (payload_due) {
      if (beacon_due) writer.AddTimestamp(Timestamp(kPassStart + t));
      writer.AddFrame(talphex::kPayloadMarker,
                      talphex::EncodePayloadBody(Payload(t, payloads, noise)));
      ++payloads;
    }
  }
  const talphex::Status written = talphex::WriteFileAtomically(argv[1], [&](std::FILE* out) {
    std::fwrite(writer.bytes().data(), 1, writer.bytes().size(), out);
  });
  if (!written) {
    std::fprintf(stderr, "make-sample-capture: %s\n", written.error().message.c_str());
    return 1;
  }
  std::printf("%s: %d beacon and %d payload frames\n", argv[1], beacons, payloads);
  return 0;
}
