// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/debug_page.h"

#include <QFontDatabase>
#include <QHeaderView>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSplitter>
#include <QTabWidget>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

#include "gui/window_look.h"

namespace talphex {
namespace {

// The dump's eight bytes a line take a little over 300 pixels.
constexpr int kDumpWidth = 320;

QFont MonoFont(bool bold) {
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSizeF(8.0);
  mono.setBold(bold);
  return mono;
}

}  // namespace

DebugPage::DebugPage(QWidget* parent)
    : QWidget(parent),
      pages_(new QTabWidget(this)),
      log_model_(new FrameLogModel(this)),
      inspector_model_(new FrameInspectorModel(this)) {
  setObjectName(QStringLiteral("Pagedebug"));
  setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
  layout->setSpacing(2);
  // Two pages: the frame log, and the frames with the dump of the one selected.
  pages_->setObjectName(QStringLiteral("DebugPages"));
  pages_->setDocumentMode(true);
  pages_->addTab(BuildLogPage(pages_, MonoFont(true)), QStringLiteral("Frame log"));
  pages_->addTab(BuildFrameInspector(), QStringLiteral("Frames"));
  layout->addWidget(pages_, 1);
}

void DebugPage::AddPage(QWidget* page, const QString& title) { pages_->addTab(page, title); }

void DebugPage::ShowPage(QWidget* page) { pages_->setCurrentWidget(page); }

QWidget* DebugPage::BuildLogPage(QTabWidget* pages, const QFont& mono) {
  const QFontMetrics mono_metrics(mono);
  // The log is a view over the kept lines: a long log costs no widget per line.
  log_model_->SetCharSize(
      QSize(mono_metrics.horizontalAdvance(QLatin1Char('0')), mono_metrics.height()));
  log_view_ = new FrameLogView(log_model_, pages);
  log_view_->setObjectName(QStringLiteral("Text5"));
  log_view_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_view_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  log_view_->setFont(mono);
  SetBase(log_view_, kOtherValue);
  // The frame texts of the records on view go with the log, leaving the frames all the height.
  auto* log_page = new QWidget(pages);
  auto* log_layout = new QVBoxLayout(log_page);
  log_layout->setContentsMargins(0, 0, 0, 0);
  log_layout->setSpacing(2);
  log_layout->addWidget(log_view_, 1);
  beacon_frame_box_ = MakeReadOnlyBox(log_page, QStringLiteral("Text3"));
  payload_frame_box_ = MakeReadOnlyBox(log_page, QStringLiteral("Text6"));
  for (QLineEdit* box : {beacon_frame_box_, payload_frame_box_}) {
    box->setFont(mono);
    SetBase(box, kOtherValue);
    log_layout->addWidget(box);
  }
  return log_page;
}

QWidget* DebugPage::BuildFrameInspector() {
  // Made in this page, whose font measures the table, and moved to its tab.
  auto* splitter = new QSplitter(Qt::Horizontal, this);
  splitter->setObjectName(QStringLiteral("FrameInspector"));
  frame_table_ = MakeRowTable(splitter, QStringLiteral("FrameTable"), inspector_model_,
                              {{FrameInspectorModel::kReceived, "2026-12-31 23:59:59"},
                               {FrameInspectorModel::kKind, "payload"},
                               {FrameInspectorModel::kSource, "N0CALL-15"},
                               {FrameInspectorModel::kDestination, "N0CALL-15"},
                               {FrameInspectorModel::kLength, "65536"}});
  frame_dump_ = new QPlainTextEdit(splitter);
  frame_dump_->setObjectName(QStringLiteral("FrameDump"));
  frame_dump_->setReadOnly(true);
  frame_dump_->setLineWrapMode(QPlainTextEdit::NoWrap);
  frame_dump_->setFont(MonoFont(false));
  SetBase(frame_dump_, kOtherValue);
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  splitter->setSizes({width() - kDumpWidth, kDumpWidth});
  connect(frame_table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            frame_dump_->setPlainText(
                current.isValid() ? FrameDumpText(inspector_model_->At(current.row())) : QString());
          });
  connect(inspector_model_, &QAbstractItemModel::modelReset, frame_dump_, &QPlainTextEdit::clear);
  return splitter;
}

void DebugPage::ShowFrameTexts(const RecordView& view) {
  beacon_frame_box_->setText(Latin1(view.beacon_frame));
  beacon_frame_box_->setCursorPosition(0);
  payload_frame_box_->setText(Latin1(view.payload_frame));
  payload_frame_box_->setCursorPosition(0);
}

void DebugPage::AppendLog(FrameLogBuffer&& lines, bool scroll) {
  log_model_->Append(std::move(lines));
  if (scroll) log_view_->scrollToBottom();
}

FrameLogBuffer DebugPage::TakeLog() { return log_model_->Take(); }

void DebugPage::ReplaceFrames(FrameFactsBuffer&& frames) {
  inspector_model_->Replace(std::move(frames));
}

void DebugPage::AppendFrames(const FrameFactsBuffer& frames) { inspector_model_->Append(frames); }

void DebugPage::AppendFrame(const FrameFacts& facts) { inspector_model_->Append(facts); }

void DebugPage::ClearFrames() { inspector_model_->Clear(); }

}  // namespace talphex
