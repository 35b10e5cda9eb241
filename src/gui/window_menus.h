// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QKeySequence>

class QAction;
class QMenuBar;

namespace talphex {

// A command of the window's menus: its caption, control name and status tip; a separator where
// the caption is nullptr.
struct MenuCommand {
  const char* caption;
  const char* name;
  const char* tip;
  QKeySequence::StandardKey key = QKeySequence::UnknownKey;
};

inline constexpr MenuCommand kFileMenu[] = {
    {"Open KISS File", "MenuFileOpen",
     "Open one or more KISS capture files (*.kss) and show their records", QKeySequence::Open},
    {"Connect to TNC...", "MenuFileConnect",
     "Decode the frames a TNC serves over KISS TCP as they come, and record the pass"},
    {"Disconnect", "MenuFileDisconnect", "End the connection to the TNC"},
    {"Station Network...", "MenuFileNetwork",
     "Publish over MQTT, subscribe to every station's frames, write to InfluxDB and share frames "
     "with SatNOGS DB"},
    {nullptr, nullptr, nullptr},
    {"Limits...", "MenuFileLimits",
     "Edit limits.ini, the limits and flag rules every record is judged by; saved, it applies at "
     "once"},
    {nullptr, nullptr, nullptr},
    {"Exit", "MenuFileExit", "Close the decoder", QKeySequence::Quit},
};

inline constexpr MenuCommand kTlmMenu[] = {
    {"Write CSV File", "WriteCSVFile",
     "Write every beacon record to <capture name>.csv beside the last capture file"},
    {"Write TLM File", "WriteTLMFile",
     "Write the record on view as a report to <capture name>.tlm beside the last capture file"},
    {"Write Payload CSV File", "WritePayloadCSVFile",
     "Write every payload record to <capture name>-payload.csv beside the last capture file"},
    {"Export for Analysis...", "ExportForAnalysis",
     "Write every record as comma-separated UTF-8, JSON Lines or InfluxDB line protocol beside "
     "the last capture file"},
    {"Pass Summary...", "PassSummary",
     "Show each pass of the records on hand: times, frames, every field's minimum, maximum, mean "
     "and last value, the alarms and the flag changes; copy it or save it as Markdown or JSON"},
};

// The "File" (MnuFile) and "TLM File" (MnuSettings) menus and the "Info" command (MnuInfo) in
// `bar`; each command an action named by its control name, found with findChild.
void BuildWindowMenus(QMenuBar* bar);

}  // namespace talphex
