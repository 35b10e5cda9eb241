// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/window_menus.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace talphex {
namespace {

template <std::size_t N>
void AddCommands(QMenu* menu, const MenuCommand (&commands)[N]) {
  for (const MenuCommand& command : commands) {
    if (command.caption == nullptr) {
      menu->addSeparator();
      continue;
    }
    QAction* action = menu->addAction(QString::fromLatin1(command.caption));
    action->setObjectName(QString::fromLatin1(command.name));
    action->setStatusTip(QString::fromLatin1(command.tip));
    if (command.key != QKeySequence::UnknownKey) action->setShortcut(command.key);
  }
}

}  // namespace

void BuildWindowMenus(QMenuBar* bar) {
  QMenu* file = bar->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("MnuFile"));
  AddCommands(file, kFileMenu);
  QMenu* tlm = bar->addMenu(QStringLiteral("&TLM File"));
  tlm->setObjectName(QStringLiteral("MnuSettings"));
  AddCommands(tlm, kTlmMenu);
  QAction* info = bar->addAction(QStringLiteral("&Info"));
  info->setObjectName(QStringLiteral("MnuInfo"));
  info->setStatusTip(QStringLiteral("About the decoder and the TALPHEX mission"));
}

}  // namespace talphex
