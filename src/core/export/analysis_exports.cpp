// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/export/analysis_exports.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "core/base/output.h"
#include "core/base/text_safety.h"
#include "core/base/utc_time.h"
#include "core/view/field_catalogue.h"
#include "core/view/text_forms.h"

namespace talphex {
namespace {

// Fields whose values are whole numbers of the frame: message number, on-board time, mode, idle
// timer, the uncalibrated GPS current and the two supervisor times.
constexpr std::array<int, 7> kIntegerFields = {0, 1, 2, 3, 26, 43, 44};

bool IsIntegerField(int field) {
  return std::find(kIntegerFields.begin(), kIntegerFields.end(), field) != kIntegerFields.end();
}

// A line-protocol tag value (printable UTF-8) that InfluxDB 1.x and 2.x store alike: commas,
// equals signs and blanks escaped; a backslash becomes "/", as the two read a backslash before
// other characters differently and one at the end makes the whole line invalid.
std::string InfluxTagValue(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\') {
      out.push_back('/');
      continue;
    }
    if (c == ',' || c == '=' || c == ' ') out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

// The value of a field as a number's text; empty when the record has none.
std::string FieldValueText(const TelemetryRecord& record, int field) {
  const double value = record.Value[static_cast<std::size_t>(field)];
  if (!std::isfinite(value)) return {};
  return IsIntegerField(field) ? IntegerText(value) : GeneralText(value, '.');
}

const std::vector<std::string>& FieldKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    for (const std::string& name : AnalysisColumns()) all.push_back(SnakeCaseKey(name));
    return all;
  }();
  return keys;
}

// The JSON object's member names with their separators: ",\"name\":" for every column.
const std::vector<std::string>& JsonKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> all;
    for (const std::string& name : AnalysisColumns()) all.push_back("," + JsonString(name) + ":");
    return all;
  }();
  return keys;
}

}  // namespace

std::string CsvCell(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string cell = "\"";
  for (const char c : text) {
    if (c == '"') cell.push_back('"');
    cell.push_back(c);
  }
  return cell += '"';
}

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out.push_back('\\');
      out.push_back(c);
    } else if (static_cast<unsigned char>(c) < 0x20) {
      constexpr char kHex[] = "0123456789abcdef";
      out.append("\\u00").push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 0xF]);
    } else {
      out.push_back(c);
    }
  }
  return out += '"';
}

bool FlagIsSet(const TelemetryRecord& record, int lamp) {
  const LampInfo info = Lamp(lamp);
  const double byte = record.Value[static_cast<std::size_t>(info.slot)];
  return (static_cast<int>(byte) & info.mask) != 0;
}

std::string_view KindName(Kind kind) { return kind == Kind::kBeacon ? "beacon" : "payload"; }

const std::vector<std::string>& AnalysisColumns() {
  static const std::vector<std::string> columns = [] {
    std::vector<std::string> names = {"rx_time_utc", "source", "kind", "record"};
    for (int field = 0; field < kFieldCount; ++field) {
      const FieldInfo& info = Field(field);
      int occurrence = 0;
      int occurrences = 0;
      for (int other = 0; other < kFieldCount; ++other) {
        if (Field(other).caption != info.caption) continue;
        ++occurrences;
        if (other <= field) ++occurrence;
      }
      std::string name = Utf8FromLatin1(info.caption);
      if (occurrences > 1) name += " " + std::to_string(occurrence);
      if (!info.unit.empty()) name += " [" + Utf8FromLatin1(info.unit) + "]";
      names.push_back(std::move(name));
    }
    for (int lamp = 0; lamp < kLampCount; ++lamp) {
      const LampInfo info = Lamp(lamp);
      std::string name(SlotName(info.slot));
      name += " ";
      name += info.caption.empty() ? "bit " + std::to_string(info.row) : std::string(info.caption);
      names.push_back(std::move(name));
    }
    return names;
  }();
  return columns;
}

std::string SnakeCaseKey(std::string_view name) {
  std::string key;
  auto word = [&key](std::string_view text) {
    if (!key.empty() && key.back() != '_') key.push_back('_');
    key.append(text);
  };
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char c = name[i];
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) {
      key.push_back(c);
    } else if (c >= 'A' && c <= 'Z') {
      key.push_back(static_cast<char>(c - 'A' + 'a'));
    } else if (c == '+' || c == '-') {
      word(c == '+' ? "plus" : "minus");
    } else if (name.substr(i, 2) == "\xC2\xB5") {  // the micro sign of "µA"
      key.push_back('u');
      ++i;
    } else if (!key.empty() && key.back() != '_') {
      key.push_back('_');
    }
  }
  while (!key.empty() && key.back() == '_') key.pop_back();
  return key;
}

std::string IsoUtcTime(std::string_view rx_time, int millisecond) {
  if (!ParseUtcDateTime(rx_time)) return {};
  std::string iso(rx_time);
  iso[10] = 'T';
  if (millisecond >= 0 && millisecond <= 999) {
    const std::string digits = std::to_string(1000 + millisecond);
    iso.append(".").append(digits, 1, 3);
  }
  return iso += 'Z';
}

std::string InfluxLeftOutText(const InfluxLeftOut& left_out) {
  if (left_out.total() == 0) return {};
  std::string text = std::to_string(left_out.total()) + " records left out: ";
  if (left_out.without_time > 0) {
    text += std::to_string(left_out.without_time) + " without a receive time";
  }
  if (left_out.out_of_range > 0) {
    if (left_out.without_time > 0) text += ", ";
    text += std::to_string(left_out.out_of_range) +
            " with a receive time outside InfluxDB's years 1677 to 2262";
  }
  return text;
}

AnalysisWriter::AnalysisWriter(AnalysisFormat format, std::string_view station) : format_(format) {
  if (!station.empty()) station_tag_ = ",station=" + InfluxTagValue(PrintableUtf8(station));
}

std::string AnalysisWriter::Header() const {
  if (format_ != AnalysisFormat::kCsv) return {};
  std::string line;
  for (const std::string& name : AnalysisColumns()) {
    if (!line.empty()) line.push_back(',');
    line += CsvCell(name);
  }
  if (stations_column_) line += ",stations";
  return line += "\r\n";
}

void AnalysisWriter::SetSource(std::string_view source) {
  if (source == source_path_ && !source_cell_.empty()) return;
  source_path_.assign(source);
  const std::string name = PrintableUtf8(source.substr(source.rfind('/') + 1));
  switch (format_) {
    case AnalysisFormat::kCsv:
      source_cell_ = CsvCell(name);
      break;
    case AnalysisFormat::kJsonLines:
      source_cell_ = JsonString(name);
      break;
    case AnalysisFormat::kInflux:
      // A tag cannot be empty: a record of no known capture goes without it.
      source_cell_ = name.empty() ? std::string() : ",source=" + InfluxTagValue(name);
      break;
  }
}

void AnalysisWriter::Append(std::string& out, Kind kind, const TelemetryRecord& record,
                            std::int64_t number, std::string_view source,
                            std::span<const std::string> stations) {
  SetSource(source);
  const std::string time = IsoUtcTime(record.RxTime, record.RxMillisecond);
  const bool payload = kind == Kind::kPayload;
  auto has_field = [kind](int field) { return KindOfField(field) == kind; };
  switch (format_) {
    case AnalysisFormat::kCsv: {
      out.append(time).append(",").append(source_cell_).append(",");
      out.append(KindName(kind)).append(",").append(std::to_string(number));
      for (int field = 0; field < kFieldCount; ++field) {
        out.push_back(',');
        if (has_field(field)) out += FieldValueText(record, field);
      }
      for (int lamp = 0; lamp < kLampCount; ++lamp) {
        out.push_back(',');
        if (payload) out.push_back(FlagIsSet(record, lamp) ? '1' : '0');
      }
      if (stations_column_) {
        // Station names are letters, digits, "-" and "_": no cell needs quotes.
        out.push_back(',');
        for (std::size_t i = 0; i < stations.size(); ++i) {
          if (i > 0) out.push_back(' ');
          out += PrintableUtf8(stations[i]);
        }
      }
      out += "\r\n";
      return;
    }
    case AnalysisFormat::kJsonLines: {
      const std::vector<std::string>& keys = JsonKeys();
      out.append("{\"rx_time_utc\":").append(time.empty() ? "null" : JsonString(time));
      out.append(",\"source\":").append(source_cell_);
      out.append(",\"kind\":\"").append(KindName(kind)).append("\"");
      out.append(",\"record\":").append(std::to_string(number));
      for (int field = 0; field < kFieldCount; ++field) {
        const std::string value = has_field(field) ? FieldValueText(record, field) : "";
        out.append(keys[kAnalysisLeadColumns + field]).append(value.empty() ? "null" : value);
      }
      for (int lamp = 0; lamp < kLampCount; ++lamp) {
        out.append(keys[kAnalysisLeadColumns + kFieldCount + lamp]);
        out.append(!payload ? "null" : FlagIsSet(record, lamp) ? "true" : "false");
      }
      if (stations_column_) {
        out.append(",\"stations\":[");
        for (std::size_t i = 0; i < stations.size(); ++i) {
          if (i > 0) out.push_back(',');
          out += JsonString(PrintableUtf8(stations[i]));
        }
        out.push_back(']');
      }
      out += "}\n";
      return;
    }
    case AnalysisFormat::kInflux: {
      // Nanoseconds in 64 bits reach from 1677 to 2262.
      constexpr std::int64_t kLastSecond = 9223372035;
      const std::optional<std::int64_t> seconds = ParseUtcDateTime(record.RxTime);
      if (!seconds) {
        ++left_out_.without_time;
        return;
      }
      if (*seconds > kLastSecond || *seconds < -kLastSecond) {
        ++left_out_.out_of_range;
        return;
      }
      const int millisecond = record.RxMillisecond >= 0 ? record.RxMillisecond : 0;
      const std::int64_t time_ns =
          PointTime(kind, *seconds * 1'000'000'000 + std::int64_t{millisecond} * 1'000'000);
      const std::vector<std::string>& keys = FieldKeys();
      out.append("talphex_").append(KindName(kind)).append(source_cell_).append(station_tag_);
      out.append(" record=").append(std::to_string(number)).append("i");
      for (int field = 0; field < kFieldCount; ++field) {
        if (!has_field(field)) continue;
        const std::string value = FieldValueText(record, field);
        if (value.empty()) continue;
        out.append(",").append(keys[kAnalysisLeadColumns + field]).append("=").append(value);
        if (IsIntegerField(field)) out.push_back('i');
      }
      for (int lamp = 0; payload && lamp < kLampCount; ++lamp) {
        out.append(",").append(keys[kAnalysisLeadColumns + kFieldCount + lamp]);
        out.append(FlagIsSet(record, lamp) ? "=true" : "=false");
      }
      out.append(" ").append(std::to_string(time_ns)).append("\n");
      return;
    }
  }
}

std::int64_t AnalysisWriter::PointTime(Kind kind, std::int64_t received) {
  series_key_.assign(KindName(kind)).append(source_cell_);
  const auto [series, added] = series_.try_emplace(series_key_, SeriesTimes{received, received});
  if (added) return received;
  SeriesTimes& times = series->second;
  // Only a time at or after the last one can meet a point already written; a time that went
  // back is written as it is.
  times.written =
      received >= times.received && received <= times.written ? times.written + 1 : received;
  times.received = received;
  return times.written;
}

InfluxLeftOut WriteAnalysis(std::FILE* out, const DecoderState& state, AnalysisFormat format,
                            std::string_view station) {
  AnalysisWriter writer(format, station);
  std::string text = writer.Header();
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const std::size_t records = state.StoredCount(kind);
    for (std::size_t r = 0; r < records; ++r) {
      const std::int64_t number = state.FirstStored(kind) + static_cast<std::int64_t>(r);
      writer.Append(text, kind, state.Store(kind)[r], number, state.SourceOf(kind, number));
      if (text.size() >= 64 * 1024) {
        Put(out, text);
        text.clear();
      }
    }
  }
  Put(out, text);
  return writer.left_out();
}

}  // namespace talphex
