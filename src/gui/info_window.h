// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

namespace talphex {

inline constexpr char kVersionLine[] = "Version 0.3    (28 Dec 2018)";

// The about box: program name, version line, the mission in a few sentences, a picture of the
// spacecraft and the warranty disclaimer. Non-modal; it is deleted when closed.
class InfoWindow : public QWidget {
  Q_OBJECT

 public:
  explicit InfoWindow(QWidget* parent = nullptr);
};

}  // namespace talphex
