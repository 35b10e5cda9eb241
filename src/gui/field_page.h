// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>
#include <array>

#include "core/monitor/alarms.h"
#include "core/view/field_catalogue.h"
#include "core/view/navigation.h"
#include "core/view/record_view.h"

class QAbstractButton;
class QFrame;
class QGridLayout;
class QLabel;
class QLineEdit;

namespace talphex {

// Sizes of the field grid's columns, measured once for both pages from the window's font.
struct FieldGridMetrics {
  int selector_width = 0;
  int value_width = 0;
  int unit_width = 0;
  static FieldGridMetrics Of(const QFont& font);
};

// One tab page of fields: per field an option button (Option1), a value box (Text1) and a unit
// label (Label2); the TALPHEX page adds the POSIX time label (Label4), the VAVE page the 48 status
// lamps (Shape1) with their captions (Label5). The page shows a record view and tells which field
// the user chose and which record key was pressed; choosing what that means is the window's.
class FieldPage : public QWidget {
  Q_OBJECT

 public:
  FieldPage(TabPage page, const FieldGridMetrics& metrics, QWidget* parent = nullptr);

  TabPage page() const { return page_; }
  // The option button of a field on this page; nullptr for a field of the other page.
  QAbstractButton* selector(int field) const;
  // Captions and units from the catalogue, as at start.
  void SetCaptions();
  void ClearValues();
  // Shows the values and lamps of `view`.
  void ShowView(const RecordView& view);
  // Checks the option button of `field` (unchecks the others) and marks its value box.
  void SetChosen(int field);
  // Colours the value boxes beyond a limit yellow or red (their tooltip says which limit) and
  // frames the lamps whose flag breaks its rule; a level beyond a limit outshines the chosen
  // field's mark.
  void ShowLimits(const ShownRecordLimits& limits);

 signals:
  // An option button was clicked; `group` with Shift or the right mouse button.
  void fieldChosen(int field, bool group);
  // A record key was pressed in the field grid.
  void stepRequested(RecordStep step);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void AddField(QGridLayout* grid, int field, const FieldGridMetrics& metrics);
  void AddLampGrid(QGridLayout* grid, const FieldGridMetrics& metrics);
  int FieldOf(QObject* watched) const;
  void ColourBox(int field);

  TabPage page_;
  std::array<QAbstractButton*, kFieldCount> selectors_{};
  std::array<QLineEdit*, kFieldCount> value_boxes_{};
  std::array<QLabel*, kFieldCount> unit_labels_{};
  std::array<QFrame*, kLampCount> lamps_{};
  std::array<QLabel*, kLampCount> lamp_labels_{};
  QLabel* posix_time_label_ = nullptr;  // Label4
  bool group_requested_ = false;        // Shift or right button on the selector being chosen
  int chosen_ = -1;
  std::array<Level, kFieldCount> levels_{};
};

// The record step of a key without modifiers: Left, Right, Page Up, Page Down, Home, End.
std::optional<RecordStep> RecordStepOfKey(int key, Qt::KeyboardModifiers modifiers);

}  // namespace talphex
