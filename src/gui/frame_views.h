// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractListModel>
#include <QAbstractTableModel>
#include <QSize>
#include <QTableView>

#include "core/capture/frame_facts.h"
#include "core/capture/frame_log_buffer.h"

namespace talphex {

// Lines of the frame log and frames of the inspector the debug page keeps.
inline constexpr std::size_t kFrameLogLines = 200000;
inline constexpr std::size_t kInspectorFrames = 200000;

// The frame log as a list: the view asks for the lines it shows, so a long log costs its bytes
// and nothing per line in widgets.
class FrameLogModel : public QAbstractListModel {
  Q_OBJECT

 public:
  explicit FrameLogModel(QObject* parent) : QAbstractListModel(parent) {}

  // Appends the lines of a load after the ones kept, the oldest going beyond kFrameLogLines.
  void Append(FrameLogBuffer&& lines);
  // The kept lines, leaving the list empty: a load goes on from them.
  FrameLogBuffer Take();
  // Width of one character of the view's font, for the width of the longest line.
  void SetCharSize(QSize size) { char_size_ = size; }
  // Every row is as wide as the longest line, so the view scrolls far enough sideways.
  QSize RowSize() const;

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;

 private:
  FrameLogBuffer lines_{kFrameLogLines};
  std::size_t longest_ = 0;
  QSize char_size_{8, 14};
};

// The frame log's view: a line a row at a fixed height, the column as wide as the longest line.
// A table rather than a list view, which lays out every row again whenever one is added: with a
// full log a live connection paid that on every refresh.
class FrameLogView : public QTableView {
  Q_OBJECT

 public:
  FrameLogView(FrameLogModel* model, QWidget* parent);
};

// The frames read since the last open command or connection, one row each: receive time,
// kind, AX.25 source and destination, length and result.
class FrameInspectorModel : public QAbstractTableModel {
  Q_OBJECT

 public:
  enum Column { kReceived, kKind, kSource, kDestination, kLength, kResult, kColumns };

  explicit FrameInspectorModel(QObject* parent) : QAbstractTableModel(parent) {}

  // The frames of a whole load at once, replacing the rows.
  void Replace(FrameFactsBuffer&& frames);
  // One more frame as it comes (a live connection); the oldest row goes beyond
  // kInspectorFrames.
  void Append(const FrameFacts& facts);
  // Frames that came together, oldest first.
  void Append(const FrameFactsBuffer& frames);
  void Clear();
  FrameFacts At(int row) const { return frames_.at(static_cast<std::size_t>(row)); }

  int rowCount(const QModelIndex& parent = QModelIndex()) const override;
  int columnCount(const QModelIndex& parent = QModelIndex()) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  FrameFactsBuffer frames_{kInspectorFrames};
};

// The dump the debug page shows for a selected frame: its facts, the frame and the decoded body
// as hex, eight bytes a line.
QString FrameDumpText(const FrameFacts& facts);

}  // namespace talphex
