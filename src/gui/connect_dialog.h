// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QtGlobal>
#include <optional>

class QWidget;

namespace talphex {

// Where to connect for live decoding, and whether to record the pass.
struct TncChoice {
  QString host = QStringLiteral("localhost");
  quint16 port = 8001;
  bool record = true;
};

// The choice of the last confirmed dialog, from the user's settings; the defaults before any.
TncChoice LastTncChoice();
void RememberTncChoice(const TncChoice& choice);

// The "Connect to TNC" dialog, filled with the last choice and offering the ports of the usual
// TNC programs; nullopt when the user cancelled. A confirmed choice is remembered.
std::optional<TncChoice> AskForTnc(QWidget* parent);

}  // namespace talphex
