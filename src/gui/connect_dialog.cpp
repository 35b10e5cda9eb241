// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/connect_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QVBoxLayout>
#include <array>

namespace talphex {
namespace {

struct TncProgram {
  const char* name;
  quint16 port;
};

// The KISS TCP ports the usual programs serve by default.
constexpr std::array<TncProgram, 3> kPrograms = {{
    {"Dire Wolf (8001)", 8001},
    {"gr-satellites / soundmodem (8100)", 8100},
    {"QtSoundModem (8105)", 8105},
}};

QString Key(const char* name) { return QStringLiteral("tnc/") + QLatin1String(name); }

}  // namespace

TncChoice LastTncChoice() {
  const QSettings settings(QStringLiteral("talphex"), QStringLiteral("talphex-decoder"));
  TncChoice choice;
  choice.host = settings.value(Key("host"), choice.host).toString();
  const int port = settings.value(Key("port"), choice.port).toInt();
  if (port >= 1 && port <= 65535) choice.port = static_cast<quint16>(port);
  choice.record = settings.value(Key("record"), choice.record).toBool();
  return choice;
}

void RememberTncChoice(const TncChoice& choice) {
  QSettings settings(QStringLiteral("talphex"), QStringLiteral("talphex-decoder"));
  settings.setValue(Key("host"), choice.host);
  settings.setValue(Key("port"), choice.port);
  settings.setValue(Key("record"), choice.record);
}

std::optional<TncChoice> AskForTnc(QWidget* parent) {
  const TncChoice last = LastTncChoice();
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Connect to TNC"));
  auto* programs = new QComboBox(&dialog);
  programs->setObjectName(QStringLiteral("TncProgram"));
  for (const TncProgram& program : kPrograms) {
    programs->addItem(QLatin1String(program.name), program.port);
  }
  auto* host = new QLineEdit(last.host, &dialog);
  host->setObjectName(QStringLiteral("TncHost"));
  auto* port = new QSpinBox(&dialog);
  port->setObjectName(QStringLiteral("TncPort"));
  port->setRange(1, 65535);
  port->setValue(last.port);
  auto* record = new QCheckBox(QStringLiteral("Record the pass to a capture file"), &dialog);
  record->setObjectName(QStringLiteral("TncRecord"));
  record->setChecked(last.record);
  // The program and the port follow each other; a port of no program shows none.
  const auto show_program = [programs](int value) {
    programs->setCurrentIndex(programs->findData(value));
  };
  show_program(last.port);
  QObject::connect(port, &QSpinBox::valueChanged, programs, show_program);
  QObject::connect(programs, &QComboBox::activated, port, [port, programs](int index) {
    port->setValue(programs->itemData(index).toInt());
  });

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("Connect"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  QObject::connect(host, &QLineEdit::textChanged, buttons, [buttons](const QString& text) {
    buttons->button(QDialogButtonBox::Ok)->setEnabled(!text.trimmed().isEmpty());
  });
  auto* form = new QFormLayout;
  form->addRow(QStringLiteral("TNC program:"), programs);
  form->addRow(QStringLiteral("Host:"), host);
  form->addRow(QStringLiteral("Port:"), port);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addLayout(form);
  layout->addWidget(record);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  QString address = host->text().trimmed();
  // An IPv6 address may come in the brackets of "[::1]:8001".
  if (address.size() > 2 && address.startsWith(QLatin1Char('[')) &&
      address.endsWith(QLatin1Char(']'))) {
    address = address.mid(1, address.size() - 2);
  }
  const TncChoice choice{address, static_cast<quint16>(port->value()), record->isChecked()};
  RememberTncChoice(choice);
  return choice;
}

}  // namespace talphex
