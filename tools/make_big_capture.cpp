// Writes a large capture for memory and speed checks: timestamp parts, beacon and payload frames
// in turn, with values that change from frame to frame, until the file reaches the size asked.
//
//   make-big-capture OUTPUT.kss SIZE_MB

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "capture/capture_loader.h"
#include "capture/capture_writer.h"
#include "decode/field_readers.h"

namespace {

constexpr std::int64_t kFirstPosixTime = 1794649260;  // 2026-11-14 09:41:00 UTC
constexpr int kFramesPerBatch = 4096;

// One batch of frames starting at frame number `first`, as one byte string.
std::string Batch(std::int64_t first) {
  talphex::CaptureWriter writer;
  for (std::int64_t n = first; n < first + kFramesPerBatch; ++n) {
    const std::int64_t posix_time = kFirstPosixTime + n;
    writer.AddTimestamp(talphex::DateTimeText(talphex::PosixToDateTime(posix_time)));
    if (n % 2 == 0) {
      talphex::BeaconRaw beacon;
      beacon.message_number = static_cast<std::uint16_t>(n);
      beacon.posix_time = static_cast<std::uint32_t>(posix_time);
      beacon.mode = static_cast<std::uint8_t>(n / 1000 % 6);
      beacon.battery = static_cast<std::uint16_t>(800 + n % 40);
      beacon.board_temp = {600, 601, 602, static_cast<std::uint16_t>(590 + n % 20), 610, 611};
      beacon.mag_field = {1234.5f, -987.25f, static_cast<float>(n % 1000)};
      writer.AddFrame(talphex::kBeaconMarker, talphex::EncodeBeaconBody(beacon));
    } else {
      talphex::PayloadRaw payload;
      payload.status = {static_cast<std::uint16_t>(n), 0x1234, 0xC0DB};
      payload.supervisor_time = static_cast<std::uint16_t>(n);
      payload.overflow_time = static_cast<std::uint32_t>(n) * 7919u;
      writer.AddFrame(talphex::kPayloadMarker, talphex::EncodePayloadBody(payload));
    }
  }
  return writer.bytes();
}

}  // namespace

int main(int argc, char** argv) {
  char* end = nullptr;
  const long long size_mb = argc == 3 ? std::strtoll(argv[2], &end, 10) : 0;
  if (argc != 3 || end == argv[2] || *end != '\0' || size_mb <= 0) {
    std::fprintf(stderr, "usage: make-big-capture OUTPUT.kss SIZE_MB\n");
    return 2;
  }
  const std::uint64_t target = static_cast<std::uint64_t>(size_mb) << 20;
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) {
    std::fprintf(stderr, "make-big-capture: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::uint64_t written = 0;
  std::int64_t frames = 0;
  while (written < target) {
    const std::string batch = Batch(frames);
    if (std::fwrite(batch.data(), 1, batch.size(), out) != batch.size()) break;
    written += batch.size();
    frames += kFramesPerBatch;
  }
  const bool failed = std::ferror(out) != 0;
  if (std::fclose(out) != 0 || failed) {
    std::fprintf(stderr, "make-big-capture: %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  std::printf("%s: %llu bytes, %lld frames\n", argv[1], static_cast<unsigned long long>(written),
              static_cast<long long>(frames));
  return 0;
}
