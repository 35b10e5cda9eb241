// SPDX-License-Identifier: GPL-3.0-or-later
// Fuzz target for the telemetry report. The input becomes the frame texts of one beacon and one
// payload record, any byte values at all, and values read from its bytes; the report written from
// the record view, and from the view of a streamed export, must hold only the program's own
// lines: 53 of them, each ended by CR LF, no other control byte, no DEL, no C1 byte. Every byte of
// a frame text is shown as one character: itself when printable, else "?".
//
// Input: one byte N, then N bytes of beacon frame text after "TALPHEX", then the payload frame text
// after "VAVE"; the first 19 bytes are also the receive time, as a timestamp part gives it.

#undef NDEBUG  // the assertions are what the target checks, in every build

#include <algorithm>
#include <cassert>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/base/text_safety.h"
#include "core/export/export_sink.h"
#include "core/export/exports.h"
#include "core/view/record_view.h"
#include "testkit/report_lines.h"

namespace talphex {
namespace {

std::string Written(const RecordView& view) {
  char* buffer = nullptr;
  std::size_t size = 0;
  std::FILE* out = open_memstream(&buffer, &size);
  if (out == nullptr) std::abort();
  WriteReport(out, view);
  std::fclose(out);
  std::string text(buffer, size);
  std::free(buffer);
  return text;
}

// Line `index` (0 for the first) of a report, without its CR LF.
std::string_view Line(std::string_view report, int index) {
  for (int i = 0; i < index; ++i) report.remove_prefix(report.find("\r\n") + 2);
  return report.substr(0, report.find("\r\n"));
}

// `shown` is `text` with every byte outside printable ASCII and 0xA0-0xFF as "?".
void AssertShownByteForByte(std::string_view shown, std::string_view text) {
  assert(shown.size() == text.size() && "a frame text lost or gained characters");
  for (std::size_t i = 0; i < text.size(); ++i) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const bool printable = (byte >= 0x20 && byte < 0x7F) || byte >= 0xA0;
    assert(shown[i] == (printable ? text[i] : '?') && "a frame byte shown wrongly");
  }
}

TelemetryRecord RecordOf(std::string_view marker, std::string_view body, std::string_view input) {
  TelemetryRecord record;
  record.RxTime = SafeTimestamp(input.substr(0, 19));
  record.FrameText.assign(marker).append(body);
  // Values from the input's bytes, NaN, infinities and the extremes among them; the status bytes
  // past the fields are bytes of the frame, as the payload decoder reads them.
  for (std::size_t slot = 0; slot < record.Value.size() && input.size() >= sizeof(double); ++slot) {
    const std::size_t at = (slot * 5 + marker.size()) % (input.size() - sizeof(double) + 1);
    if (slot >= static_cast<std::size_t>(kFieldCount)) {
      record.Value[slot] = static_cast<unsigned char>(input[at]);
    } else {
      std::memcpy(&record.Value[slot], input.data() + at, sizeof(double));
    }
  }
  return record;
}

void WriteReportsOf(std::string_view input) {
  if (input.empty()) return;
  const std::size_t split =
      std::min<std::size_t>(static_cast<unsigned char>(input[0]), input.size() - 1);
  const std::string_view beacon_body = input.substr(1, split);
  const std::string_view payload_body = input.substr(1 + split);
  DecoderState state;
  state.BeaconStore.push_back(RecordOf(kBeaconMarker, beacon_body, input));
  state.PayloadStore.push_back(RecordOf(kPayloadMarker, payload_body, input));
  state.BeaconCount = state.PayloadCount = 1;

  const char separator = input.size() % 2 == 0 ? '.' : ',';
  const std::string report = Written(BuildRecordView(state, 1, Kind::kBeacon, separator));
  const std::string fault = testing::ReportLineFault(report);
  if (!fault.empty()) std::fprintf(stderr, "report: %s\n", fault.c_str());
  assert(fault.empty() && "the report holds more than the program's own lines");
  AssertShownByteForByte(Line(report, 3), state.BeaconStore[0].FrameText);
  AssertShownByteForByte(Line(report, 40), state.PayloadStore[0].FrameText);

  // The report of a streamed export is written from the same texts.
  ExportSink sink(separator, 1);
  sink.Take(Kind::kBeacon, state.BeaconStore[0]);
  sink.Take(Kind::kPayload, state.PayloadStore[0]);
  assert(Written(sink.ReportView()) == report && "streamed and stored reports differ");
}

}  // namespace
}  // namespace talphex

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  talphex::WriteReportsOf({reinterpret_cast<const char*>(data), size});
  return 0;
}
