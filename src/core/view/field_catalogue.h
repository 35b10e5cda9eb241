// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <string_view>

#include "core/decode/telemetry_record.h"

namespace talphex {

inline constexpr int kFieldCount = 45;
inline constexpr int kLampCount = 48;

enum class TabPage { kTalphex, kVave };

// A displayed field: field i shows value slot i of a record. Texts are Latin-1.
struct FieldInfo {
  std::string_view caption;
  std::string_view unit;
  TabPage page;
  int column;
  int row;
};

// A status lamp: one bit of a payload status byte.
struct LampInfo {
  std::string_view caption;
  int slot;
  int mask;
  int column;
  int row;
};

inline constexpr std::array<FieldInfo, kFieldCount> kFields = {{
    {"Message No.", "", TabPage::kTalphex, 0, 0},
    {"Time", "s", TabPage::kTalphex, 1, 0},
    {"Mode", "", TabPage::kTalphex, 1, 11},
    {"Idle Timer", "s", TabPage::kTalphex, 0, 1},
    {"Battery Volt", "V", TabPage::kTalphex, 1, 1},
    {"SP Curr X+", "mA", TabPage::kTalphex, 2, 1},
    {"SP Curr X-", "mA", TabPage::kTalphex, 0, 2},
    {"SP Curr Y+", "mA", TabPage::kTalphex, 1, 2},
    {"SP Curr Z+", "mA", TabPage::kTalphex, 2, 2},
    {"SP Curr Z-", "mA", TabPage::kTalphex, 0, 5},
    {"StenSat Temp", "C", TabPage::kTalphex, 0, 3},
    {"EPS Board Temp", "C", TabPage::kTalphex, 1, 3},
    {"Nexus Board Temp", "C", TabPage::kTalphex, 2, 3},
    {"ACS Board Temp", "C", TabPage::kTalphex, 1, 5},
    {"Router Board Temp", "C", TabPage::kTalphex, 0, 4},
    {"Lith Board Temp", "C", TabPage::kTalphex, 1, 4},
    {"Temp X- Panel", "C", TabPage::kTalphex, 2, 4},
    {"Temp X+ Panel", "C", TabPage::kTalphex, 0, 7},
    {"Temp Y+ Panel", "C", TabPage::kTalphex, 1, 7},
    {"Temp Z- Panel", "C", TabPage::kTalphex, 2, 7},
    {"Temp Z+ Panel", "C", TabPage::kTalphex, 0, 8},
    {"Battery Volt", "V", TabPage::kTalphex, 1, 9},
    {"WatchDog Curr", "mA", TabPage::kTalphex, 1, 8},
    {"Spacecraft Curr", "mA", TabPage::kTalphex, 2, 9},
    {"Sensor IF Curr", "mA", TabPage::kTalphex, 2, 8},
    {"GPS Arduino Curr", "mA", TabPage::kTalphex, 0, 6},
    {"GPS Novatel Curr", "mA", TabPage::kTalphex, 1, 6},
    {"StenSat Curr", "mA", TabPage::kTalphex, 2, 6},
    {"ACS Arduino Curr",
     "\xB5"
     "A",
     TabPage::kTalphex, 2, 5},
    {"Router Curr", "mA", TabPage::kTalphex, 0, 9},
    {"Lithium Curr", "mA", TabPage::kTalphex, 0, 10},
    {"Mag Field X", "nT", TabPage::kTalphex, 1, 10},
    {"Mag Field Y", "nT", TabPage::kTalphex, 2, 10},
    {"Mag Field Z", "nT", TabPage::kTalphex, 0, 11},
    {"Power Ch1 Temp", "C", TabPage::kVave, 0, 0},
    {"Power Ch2 Temp", "C", TabPage::kVave, 1, 0},
    {"Battery Voltage", "V", TabPage::kVave, 2, 0},
    {"PowSec Ch1 Temp", "C", TabPage::kVave, 0, 1},
    {"Ch1 CSAC Temp", "C", TabPage::kVave, 1, 1},
    {"Ch1 Current", "mA", TabPage::kVave, 2, 1},
    {"PowSec Ch2 Temp", "C", TabPage::kVave, 0, 2},
    {"Ch2 CSAC Temp", "C", TabPage::kVave, 1, 2},
    {"Ch2 Current", "mA", TabPage::kVave, 2, 2},
    {"Supervisor Time", "s", TabPage::kVave, 0, 3},
    {"Overflow Time", "s", TabPage::kVave, 1, 3},
}};

// Status bytes in the order of the lamp columns: low byte, then high byte of each status word.
inline constexpr std::array<int, 6> kLampColumnSlots = {46, 45, 48, 47, 50, 49};

inline constexpr std::array<std::string_view, 8> kChannelFlagsLow = {
    "CH NUMBER", "ERROR", "TDC_ON", "TDC_OC", "TDC_GD", "HV_ON", "HV_OC", "HV_GD"};
inline constexpr std::array<std::string_view, 8> kChannelFlagsHigh = {
    "TEC_ON", "TEC_OC", "TEC_GD", "TEC_LOCKED", "CLK_BITE", "DLL_NotLK", "", ""};

inline constexpr std::array<std::array<std::string_view, 8>, 6> kLampCaptions = {{
    {"S_ERROR", "CH1_ERROR", "CH2_ERROR", "CH1_ON", "CH1_OC", "CH1_GD", "CH2_ON", "CH2_OC"},
    {"CH2_GD", "LASER_ON", "LASER_OC", "LASER_GD", "LAS_1_ENA", "LAS_2_ENA", "LAS_3_ENA",
     "LAS_4_ENA"},
    kChannelFlagsLow,
    kChannelFlagsHigh,
    kChannelFlagsLow,
    kChannelFlagsHigh,
}};

constexpr LampInfo Lamp(int lamp) {
  const int column = lamp / 8;
  const int bit = lamp % 8;
  return {kLampCaptions[static_cast<std::size_t>(column)][static_cast<std::size_t>(bit)],
          kLampColumnSlots[static_cast<std::size_t>(column)], 1 << bit, column, bit};
}

constexpr const FieldInfo& Field(int field) { return kFields[static_cast<std::size_t>(field)]; }

// Header entries of the status-byte slots 45 to 50 in the CSV files.
inline constexpr std::array<std::string_view, 6> kStatusSlotNames = {
    "Status Word 0 High", "Status Word 0 Low",  "Status Word 1 High",
    "Status Word 1 Low",  "Status Word 2 High", "Status Word 2 Low"};

// Column name of a value slot in the CSV files: the field caption, or the status byte's name.
constexpr std::string_view SlotName(int slot) {
  return slot < kFieldCount ? Field(slot).caption
                            : kStatusSlotNames[static_cast<std::size_t>(slot - kFieldCount)];
}

}  // namespace talphex
