// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QWidget>

#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"
#include "core/view/record_view.h"
#include "gui/frame_views.h"

class QLineEdit;
class QPlainTextEdit;
class QTableView;
class QTabWidget;

namespace talphex {

// The "debug" tab page: the frame log (Text5) with the frame texts of the records on view (Text3,
// Text6) under it, and the frame inspector: a table of the frames read (FrameTable) beside the
// dump of the one selected (FrameDump).
class DebugPage : public QWidget {
  Q_OBJECT

 public:
  explicit DebugPage(QWidget* parent = nullptr);

  // The frame texts of the beacon and payload record on view.
  void ShowFrameTexts(const RecordView& view);
  // Lines that came since, after those kept; `scroll` shows the newest.
  void AppendLog(FrameLogBuffer&& lines, bool scroll);
  // The kept log, leaving it empty: a load goes on from it.
  FrameLogBuffer TakeLog();
  // The frames of a whole load, replacing the rows; frames that came live, after the rows.
  void ReplaceFrames(FrameFactsBuffer&& frames);
  void AppendFrames(const FrameFactsBuffer& frames);
  void AppendFrame(const FrameFacts& facts);
  void ClearFrames();
  // Adds a page after the others; ShowPage brings one forward.
  void AddPage(QWidget* page, const QString& title);
  void ShowPage(QWidget* page);

 private:
  QWidget* BuildLogPage(QTabWidget* pages, const QFont& mono);
  QWidget* BuildFrameInspector();

  QTabWidget* pages_;
  FrameLogModel* log_model_;
  FrameLogView* log_view_ = nullptr;  // Text5
  FrameInspectorModel* inspector_model_;
  QTableView* frame_table_ = nullptr;
  QPlainTextEdit* frame_dump_ = nullptr;
  QLineEdit* beacon_frame_box_ = nullptr;   // Text3
  QLineEdit* payload_frame_box_ = nullptr;  // Text6
};

}  // namespace talphex
