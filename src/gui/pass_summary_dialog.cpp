// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/pass_summary_dialog.h"

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <utility>

namespace talphex {

PassSummaryDialog::PassSummaryDialog(const QString& markdown, std::function<void()> save,
                                     QWidget* parent)
    : QDialog(parent), text_(new QPlainTextEdit(this)) {
  setObjectName(QStringLiteral("PassSummary"));
  setWindowTitle(QStringLiteral("Pass Summary"));
  text_->setObjectName(QStringLiteral("PassSummaryText"));
  text_->setReadOnly(true);
  text_->setLineWrapMode(QPlainTextEdit::NoWrap);
  text_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  text_->setPlainText(markdown);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  QPushButton* copy = buttons->addButton(QStringLiteral("Copy"), QDialogButtonBox::ActionRole);
  copy->setObjectName(QStringLiteral("PassSummaryCopy"));
  QPushButton* save_button =
      buttons->addButton(QStringLiteral("Save..."), QDialogButtonBox::ActionRole);
  save_button->setObjectName(QStringLiteral("PassSummarySave"));
  connect(copy, &QPushButton::clicked, this,
          [markdown] { QApplication::clipboard()->setText(markdown); });
  connect(save_button, &QPushButton::clicked, this, std::move(save));
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(text_, 1);
  layout->addWidget(buttons);
  resize(760, 560);
}

}  // namespace talphex
