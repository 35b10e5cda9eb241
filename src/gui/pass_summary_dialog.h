// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <QString>
#include <functional>

class QPlainTextEdit;

namespace talphex {

// "Pass Summary...": the summary of the records on hand as Markdown (PassSummaryText), "Copy"
// (PassSummaryCopy) puts it on the clipboard, "Save..." (PassSummarySave) asks the window to save
// it, as Markdown or JSON by the name chosen.
class PassSummaryDialog : public QDialog {
  Q_OBJECT

 public:
  PassSummaryDialog(const QString& markdown, std::function<void()> save, QWidget* parent);

  QPlainTextEdit* text() const { return text_; }

 private:
  QPlainTextEdit* text_;
};

}  // namespace talphex
