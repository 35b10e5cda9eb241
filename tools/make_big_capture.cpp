// SPDX-License-Identifier: GPL-3.0-or-later
// Writes a large capture for memory and speed checks: timestamp parts, beacon and payload frames
// in turn, with values that change from frame to frame, until the file reaches the size asked.
// With --minimal the frames are the shortest that decode (a marker and the Ascii85 text "z~>",
// 11.5 bytes a frame on average), the most records a megabyte can hold. With --satnogs the same
// frames as without are written as a SatNOGS DB frame export, each line a frame of its own (2 M
// lines in 316 MB), to check that looking for duplicates keeps memory bounded.
//
//   make-big-capture [--minimal | --satnogs] OUTPUT SIZE_MB

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "testkit/capture_writer.h"

namespace {

constexpr int kFramesPerBatch = 4096;

enum class Form { kSynthetic, kMinimal, kSatnogs };

// One batch of frames starting at frame number `first`, as one byte string.
std::string Batch(std::int64_t first, Form form) {
  if (form == Form::kMinimal) {
    // The literal holds NUL bytes: its length is the array's, not strlen's.
    static constexpr char kPair[] = "\xC0\x00TALPHEXz~>\xC0\xC0\x00VAVEz~>\xC0";
    constexpr std::string_view kPairBytes(kPair, sizeof kPair - 1);
    std::string batch;
    for (int n = 0; n < kFramesPerBatch / 2; ++n) batch += kPairBytes;
    return batch;
  }
  talphex::CaptureWriter writer;
  for (std::int64_t n = first; n < first + kFramesPerBatch; ++n) {
    talphex::AddSyntheticFrame(writer, n);
  }
  return form == Form::kSatnogs ? talphex::SatnogsExportOf(writer.bytes()) : writer.bytes();
}

constexpr char kUsage[] = "usage: make-big-capture [--minimal | --satnogs] OUTPUT SIZE_MB\n";

}  // namespace

int main(int argc, char** argv) {
  Form form = Form::kSynthetic;
  if (argc > 1 && std::strcmp(argv[1], "--minimal") == 0) form = Form::kMinimal;
  if (argc > 1 && std::strcmp(argv[1], "--satnogs") == 0) form = Form::kSatnogs;
  if (form != Form::kSynthetic) {
    --argc;
    ++argv;
  }
  if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
    std::fputs(kUsage, stdout);
    return 0;
  }
  char* end = nullptr;
  const long long size_mb = argc == 3 ? std::strtoll(argv[2], &end, 10) : 0;
  if (argc != 3 || end == argv[2] || *end != '\0' || size_mb <= 0) {
    std::fputs(kUsage, stderr);
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
    const std::string batch = Batch(frames, form);
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
