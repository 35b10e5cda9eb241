// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/frame_views.h"

#include <QHeaderView>
#include <algorithm>

namespace talphex {
namespace {

QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// Eight bytes a line keep the dump narrow enough to stand beside the table.
constexpr std::size_t kDumpBytesPerLine = 8;

}  // namespace

void FrameLogModel::Append(FrameLogBuffer&& lines) {
  if (lines.size() == 0) return;
  const std::size_t added = lines.size();
  std::size_t widest = 0;
  for (std::size_t i = 0; i < added; ++i) widest = std::max(widest, lines.line(i).size());
  // A few lines after the kept ones, as a live connection brings them, go in as rows of their
  // own, so the view is not laid out anew each time. A load, a burst, or a line wider than any
  // before (every row is as wide as the longest) resets the list.
  constexpr std::size_t kRowByRow = 1000;
  if (lines_.size() > 0 && added <= kRowByRow && widest <= longest_) {
    // One removal and one insertion: the view's header goes through all its rows for each.
    if (const std::size_t drops = lines_.DropsFor(lines); drops > 0) {
      beginRemoveRows(QModelIndex(), 0, static_cast<int>(drops) - 1);
      lines_.DropOldest(drops);
      endRemoveRows();
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(added) - 1);
    lines_.Append(lines);
    endInsertRows();
    return;
  }
  beginResetModel();
  // A load that filled its own buffer pushes out every line kept before it.
  if (lines_.size() == 0 || added + lines.dropped() >= kFrameLogLines) {
    lines_ = std::move(lines);
    longest_ = widest;
  } else {
    // A line pushed out may leave the rows a little wider than needed.
    lines_.Append(lines);
    longest_ = std::max(longest_, widest);
  }
  endResetModel();
}

FrameLogBuffer FrameLogModel::Take() {
  beginResetModel();
  FrameLogBuffer taken(kFrameLogLines);
  std::swap(taken, lines_);
  longest_ = 0;
  endResetModel();
  return taken;
}

int FrameLogModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(lines_.size());
}

QVariant FrameLogModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::DisplayRole) return Latin1(lines_.line(static_cast<std::size_t>(index.row())));
  return {};
}

QSize FrameLogModel::RowSize() const {
  return {static_cast<int>(longest_) * char_size_.width() + 8, char_size_.height()};
}

FrameLogView::FrameLogView(FrameLogModel* model, QWidget* parent) : QTableView(parent) {
  setModel(model);
  horizontalHeader()->hide();
  verticalHeader()->hide();
  horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  verticalHeader()->setMinimumSectionSize(1);
  verticalHeader()->setDefaultSectionSize(model->RowSize().height());
  setShowGrid(false);
  setWordWrap(false);
  setTextElideMode(Qt::ElideNone);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setSelectionMode(QAbstractItemView::ExtendedSelection);
  setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
  // The longest line only grows through a reset; rows added one by one are never wider.
  const auto fit = [this, model] { setColumnWidth(0, model->RowSize().width()); };
  connect(model, &QAbstractItemModel::modelReset, this, fit);
  fit();
}

void FrameInspectorModel::Replace(FrameFactsBuffer&& frames) {
  beginResetModel();
  frames_ = std::move(frames);
  endResetModel();
}

void FrameInspectorModel::Append(const FrameFacts& facts) {
  FrameFactsBuffer one(1);
  one.Add(facts);
  Append(one);
}

void FrameInspectorModel::Append(const FrameFactsBuffer& frames) {
  // Row by row keeps the selection and the view's place; a burst is taken in one reset.
  constexpr std::size_t kRowByRow = 1000;
  if (frames.size() == 0) return;
  if (frames.size() <= kRowByRow) {
    // One removal and one insertion: the view's header goes through all its rows for each.
    if (const std::size_t drops = frames_.DropsFor(frames); drops > 0) {
      beginRemoveRows(QModelIndex(), 0, static_cast<int>(drops) - 1);
      frames_.DropOldest(drops);
      endRemoveRows();
    }
    const int first = rowCount();
    beginInsertRows(QModelIndex(), first, first + static_cast<int>(frames.size()) - 1);
    for (std::size_t i = 0; i < frames.size(); ++i) frames_.Add(frames.at(i));
    endInsertRows();
    return;
  }
  beginResetModel();
  for (std::size_t i = 0; i < frames.size(); ++i) frames_.Add(frames.at(i));
  endResetModel();
}

void FrameInspectorModel::Clear() {
  beginResetModel();
  frames_.Clear();
  endResetModel();
}

int FrameInspectorModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(frames_.size());
}

int FrameInspectorModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant FrameInspectorModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  if (role == Qt::TextAlignmentRole) {
    return index.column() == kLength ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
  }
  if (role != Qt::DisplayRole) return {};
  const FrameFacts facts = At(index.row());
  switch (index.column()) {
    case kReceived:
      return Latin1(facts.rx_time);
    case kKind:
      return QLatin1String(FrameKindText(facts.kind));
    case kSource:
    case kDestination: {
      Ax25Header header;
      if (FindAx25Header(facts, header) != Ax25Error::kNone) return QString();
      return Latin1(index.column() == kSource ? header.source : header.destination);
    }
    case kLength:
      return QString::number(facts.length);
    case kResult:
      return Latin1(FrameResultText(facts.result));
    default:
      return {};
  }
}

QVariant FrameInspectorModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  constexpr const char* kTitles[kColumns] = {"Received",    "Kind",   "Source",
                                             "Destination", "Length", "Result"};
  return section >= 0 && section < kColumns ? QLatin1String(kTitles[section]) : QVariant();
}

QString FrameDumpText(const FrameFacts& facts) {
  std::string dump;
  AppendFrameDump(dump, facts, kDumpBytesPerLine);
  return Latin1(dump);
}

}  // namespace talphex
