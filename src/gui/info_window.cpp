// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/info_window.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSvgRenderer>
#include <QVBoxLayout>

#include "core/base/licence.h"
#include "core/view/program_info.h"

// Resources of a static library are registered by hand, from the global namespace.
static void InitUiResources() { Q_INIT_RESOURCE(ui_resources); }

namespace talphex {
namespace {

constexpr int kPictureWidth = 317;
constexpr int kPictureHeight = 300;

constexpr char kMission[] =
    "TALPHEX is a small satellite in low Earth orbit. Besides its own housekeeping it flies "
    "VAVE, a payload with two measurement channels built around chip-scale atomic clocks. "
    "The spacecraft's beacon and the payload's status frames are sent in the clear, so that "
    "radio amateurs and ground stations around the world can receive them and help follow the "
    "mission.";

constexpr char kDisclaimer[] =
    "This program is offered free of charge and as it is, without any warranty: it may contain "
    "errors, and no one promises that it is fit for any purpose. You use it and the values it "
    "shows at your own risk.";

QPixmap SpacecraftPicture() {
  QPixmap picture(kPictureWidth, kPictureHeight);
  picture.fill(Qt::white);
  QSvgRenderer renderer(QStringLiteral(":/talphex/spacecraft.svg"));
  if (renderer.isValid()) {
    QPainter painter(&picture);
    renderer.render(&painter);
  }
  return picture;
}

QLabel* WrappedLabel(const QString& text, const QString& name, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setObjectName(name);
  label->setWordWrap(true);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  return label;
}

}  // namespace

InfoWindow::InfoWindow(QWidget* parent) : QWidget(parent, Qt::Window) {
  InitUiResources();
  setObjectName(QStringLiteral("Info"));
  setWindowTitle(QStringLiteral("Info"));
  setAttribute(Qt::WA_DeleteOnClose);
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, Qt::white);
  setPalette(palette);
  setAutoFillBackground(true);

  auto* title = new QLabel(QLatin1String(kProgramTitle), this);
  title->setObjectName(QStringLiteral("Label1"));
  QFont title_font = title->font();
  title_font.setPointSizeF(13.5);
  title->setFont(title_font);

  auto* version_frame = new QGroupBox(this);
  version_frame->setObjectName(QStringLiteral("Frame1"));
  auto* version_layout = new QVBoxLayout(version_frame);
  auto* version = new QLabel(QLatin1String(kVersionLine), version_frame);
  version->setObjectName(QStringLiteral("Label2"));
  version_layout->addWidget(version);
  auto* licence =
      WrappedLabel(QLatin1String(kLicenceLine), QStringLiteral("Licence"), version_frame);
  licence->setTextInteractionFlags(Qt::TextSelectableByMouse);
  version_layout->addWidget(licence);

  auto* picture = new QLabel(this);
  picture->setObjectName(QStringLiteral("Image1"));
  picture->setPixmap(SpacecraftPicture());
  picture->setFixedSize(kPictureWidth, kPictureHeight);

  auto* left = new QVBoxLayout;
  left->addWidget(title);
  left->addSpacing(24);
  left->addWidget(version_frame);
  left->addSpacing(24);
  left->addWidget(WrappedLabel(QLatin1String(kMission), QStringLiteral("Label9"), this));
  left->addStretch(1);

  auto* top = new QHBoxLayout;
  top->addLayout(left, 1);
  top->addWidget(picture, 0, Qt::AlignTop);

  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  layout->addLayout(top);
  layout->addWidget(WrappedLabel(QLatin1String(kDisclaimer), QStringLiteral("Label11"), this));
  resize(610, 402);
}

}  // namespace talphex
