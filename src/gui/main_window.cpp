// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComplex>
#include <QTabWidget>
#include <QTableView>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <string_view>
#include <tuple>

#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/export/atomic_file.h"
#include "core/export/exports.h"
#include "core/export/output_path.h"
#include "core/export/screenshot_name.h"
#include "core/view/program_info.h"
#include "gui/capture_loading.h"
#include "gui/chart_widget.h"
#include "gui/conf_ini_paths.h"
#include "gui/file_name.h"
#include "gui/frame_views.h"
#include "gui/info_window.h"
#include "gui/live_connection.h"
#include "gui/save_target.h"
#include "gui/screenshot.h"
#include "gui/tnc_client.h"

namespace talphex {
namespace {

// Client area at start, in pixels.
constexpr int kClientWidth = 717;
constexpr int kClientHeight = 638;

// Field grid: per column an option button, a value box and a unit label, sized to the font.
constexpr int kGridSpacing = 3;
constexpr int kRowHeight = 17;
constexpr int kPageMargin = 3;
constexpr int kTabHeight = 249;
// Lamp grid: a lamp and its caption per lamp column, two lamp columns under each field column.
constexpr int kLampWidth = 25;
constexpr int kLampHeight = 9;
constexpr int kLampCellWidth = 32;
constexpr int kLampRowHeight = 15;
// Height below which the chart's labels would be cut.
constexpr int kMinChartHeight = 250;
// Records that Page Up and Page Down step over.
constexpr int kRecordsPerPage = 10;
// The window shows the frames of a live connection at most this often.
constexpr int kLiveRefreshMs = 100;

const QColor kBackground(240, 240, 240);
const QColor kChosenValue(255, 255, 192);
const QColor kOtherValue(255, 255, 255);
const QColor kLampSet(0, 255, 0);
const QColor kLampClear(255, 0, 0);
const QColor kLampNoRecord(224, 224, 224);
const QColor kStatusText(128, 128, 128);
const QColor kScrollThumb(150, 150, 150);
const QColor kScrollThumbEdge(110, 110, 110);

// The style draws a scroll bar's thumb and groove in shades of one colour, which on the form's
// light grey leaves the thumb hard to tell from the groove; this one paints the thumb darker.
class ThumbStyle : public QProxyStyle {
 public:
  void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                          QPainter* painter, const QWidget* widget) const override {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control != CC_ScrollBar || !(option->state & State_Enabled)) return;
    const QRect thumb = subControlRect(control, option, SC_ScrollBarSlider, widget);
    if (thumb.width() < 3 || thumb.height() < 3) return;
    painter->save();
    painter->setPen(kScrollThumbEdge);
    painter->setBrush(kScrollThumb);
    painter->drawRect(thumb.adjusted(0, 0, -1, -1));
    painter->restore();
  }
};

QString Latin1(const std::string& text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}
// Paths are bytes in the file system's encoding, not Latin-1 texts.
QString PathText(const std::string& path) { return DecodeFileName(path); }

void SetBase(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Base, colour);
  widget->setPalette(palette);
}

void SetFill(QWidget* widget, const QColor& colour) {
  QPalette palette = widget->palette();
  palette.setColor(QPalette::Window, colour);
  widget->setPalette(palette);
}

QLineEdit* MakeReadOnlyBox(QWidget* parent, const QString& name) {
  auto* box = new QLineEdit(parent);
  box->setObjectName(name);
  box->setReadOnly(true);
  box->setFocusPolicy(Qt::ClickFocus);
  return box;
}

QString ControlName(const char* control, int index) {
  return QStringLiteral("%1(%2)").arg(QLatin1String(control)).arg(index);
}

char LocaleDecimalSeparator() {
  const QString point = QLocale::system().decimalPoint();
  if (point.size() == 1 && point.at(0).unicode() < 0x100) {
    return static_cast<char>(point.at(0).unicode());
  }
  return '.';
}

std::optional<QStringList> AskForCaptureFiles(QWidget* parent) {
  const QStringList paths = QFileDialog::getOpenFileNames(
      parent, QStringLiteral("Open KISS File"), QString(),
      QStringLiteral("KISS Files (*.kss);;SatNOGS frames (*.csv *.txt);;All Files (*)"));
  if (paths.isEmpty()) return std::nullopt;
  return paths;
}

std::optional<AnalysisFormat> AskForAnalysisFormat(QWidget* parent) {
  const QStringList formats = {
      QStringLiteral("Comma-separated values, UTF-8 (<capture name>-analysis.csv)"),
      QStringLiteral("JSON Lines (<capture name>.jsonl)"),
      QStringLiteral("InfluxDB line protocol (<capture name>.lp)")};
  bool chosen = false;
  const QString item = QInputDialog::getItem(parent, QStringLiteral("Export for Analysis"),
                                             QStringLiteral("Format:"), formats, 0, false, &chosen);
  if (!chosen) return std::nullopt;
  constexpr AnalysisFormat kFormats[] = {AnalysisFormat::kCsv, AnalysisFormat::kJsonLines,
                                         AnalysisFormat::kInflux};
  return kFormats[std::max<qsizetype>(formats.indexOf(item), 0)];
}

// "frame" or "frames" after a count.
QString Frames(std::int64_t count, const char* noun) {
  return QLatin1String(noun) + (count == 1 ? QString() : QStringLiteral("s"));
}

QStringList CaptureFilesOf(const QMimeData* mime) {
  QStringList paths;
  if (mime == nullptr || !mime->hasUrls()) return paths;
  for (const QUrl& url : mime->urls()) {
    const QString path = url.toLocalFile();
    // KISS captures and SatNOGS frame exports.
    const bool capture = path.endsWith(QStringLiteral(".kss"), Qt::CaseInsensitive) ||
                         path.endsWith(QStringLiteral(".csv"), Qt::CaseInsensitive) ||
                         path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
    if (!path.isEmpty() && capture) {
      paths << path;
    }
  }
  return paths;
}

}  // namespace

void SetApplicationInfo() {
  QCoreApplication::setApplicationName(QStringLiteral("talphex-decoder"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TALPHEX_VERSION));
}

MainWindow::MainWindow(const QStringList& conf_ini_paths, QWidget* parent)
    : QMainWindow(parent),
      conf_ini_paths_(conf_ini_paths),
      decimal_separator_(LocaleDecimalSeparator()),
      file_chooser_(AskForCaptureFiles),
      save_chooser_(AskForSavePath),
      format_chooser_(AskForAnalysisFormat),
      tnc_chooser_(AskForTnc) {
  state_.store_capacity = kStoreCapacity;
  message_sink_ = [this](const QString& title, const QString& text) {
    QMessageBox::information(this, title, text);
  };
  setWindowTitle(QLatin1String(kProgramTitle));
  setAcceptDrops(true);
  BuildWidgets();
  BuildMenus();
  // Below the client area, so that a menu command's tip never covers the status box.
  statusBar()->setObjectName(QStringLiteral("StatusBar"));
  loading_ = new CaptureLoading(statusBar());
  live_status_ = new QLabel(statusBar());
  live_status_->setObjectName(QStringLiteral("LiveStatus"));
  // Permanent, so that a menu command's tip does not hide it.
  statusBar()->addPermanentWidget(live_status_, 1);
  live_status_->hide();
  live_ = new LiveConnection(state_, this);
  live_refresh_ = new QTimer(this);
  live_refresh_->setSingleShot(true);
  live_refresh_->setInterval(kLiveRefreshMs);
  connect(live_refresh_, &QTimer::timeout, this, [this] { ShowLiveRecords(); });
  connect(live_, &LiveConnection::recordsArrived, this, [this] {
    if (!live_refresh_->isActive()) live_refresh_->start();
  });
  connect(live_, &LiveConnection::statusChanged, this, [this] { UpdateLiveStatus(); });
  Form_Load();
  // Keyboard users start on the field that a loaded capture charts first.
  field_selectors_[17]->setFocus();
  const QSize least = centralWidget()->minimumSizeHint();
  resize(std::max(kClientWidth, least.width()), std::max(kClientHeight, least.height()) +
                                                    menuBar()->sizeHint().height() +
                                                    statusBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
  // Before the state it feeds goes.
  delete live_;
  delete info_window_;
}

// ---------------------------------------------------------------------------------------------
// Widgets

void MainWindow::BuildWidgets() {
  QPalette palette = this->palette();
  palette.setColor(QPalette::Window, kBackground);
  palette.setColor(QPalette::Button, kBackground);
  palette.setColor(QPalette::Base, kBackground);
  setPalette(palette);
  QFont font = this->font();
  font.setPointSizeF(8.0);
  setFont(font);

  // Widest caption with its indicator, widest value (ten digits), widest unit.
  const QFontMetrics metrics(font);
  for (const FieldInfo& info : kFields) {
    selector_width_ = std::max(selector_width_, metrics.horizontalAdvance(Latin1(info.caption)));
    unit_width_ = std::max(unit_width_, metrics.horizontalAdvance(Latin1(info.unit)));
  }
  // The indicator and its spacing, as the style measures a selector.
  QRadioButton probe(QStringLiteral("0"));
  probe.setFont(font);
  selector_width_ += probe.sizeHint().width() - metrics.horizontalAdvance(QStringLiteral("0"));
  value_width_ = metrics.horizontalAdvance(QStringLiteral("4294967295")) + 8;
  unit_width_ += 2;

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("Form1"));
  client->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(4, 6, 4, 5);
  layout->setSpacing(6);

  tabs_ = new QTabWidget(client);
  tabs_->setObjectName(QStringLiteral("SSTab1"));
  tabs_->addTab(BuildFieldPage(TabPage::kTalphex), QStringLiteral("TALPHEX"));
  tabs_->addTab(BuildFieldPage(TabPage::kVave), QStringLiteral("VAVE"));
  tabs_->addTab(BuildDebugPage(), QStringLiteral("debug"));
  tabs_->setFixedHeight(std::max(kTabHeight, tabs_->minimumSizeHint().height()));
  layout->addWidget(tabs_);

  auto* lines = new QHBoxLayout;
  time_span_label_ = new QLabel(client);
  time_span_label_->setObjectName(QStringLiteral("Label3"));
  QFont bold = font;
  bold.setBold(true);
  time_span_label_->setFont(bold);
  rx_time_label_ = new QLabel(client);
  rx_time_label_->setObjectName(QStringLiteral("Label10"));
  lines->addWidget(time_span_label_, 1);
  lines->addWidget(rx_time_label_);
  lines->addSpacing(8);
  layout->addLayout(lines);

  layout->addWidget(BuildChartFrame(), 1);
  layout->addWidget(BuildStatusRow());
  setCentralWidget(client);
}

QWidget* MainWindow::BuildFieldPage(TabPage page) {
  auto* widget = new QWidget;
  widget->setObjectName(page == TabPage::kTalphex ? QStringLiteral("PageTALPHEX")
                                                  : QStringLiteral("PageVAVE"));
  // The style would draw the page lighter than the form; the screenshot's transparency needs the
  // form's colour.
  widget->setAutoFillBackground(true);
  auto* outer = new QVBoxLayout(widget);
  outer->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
  outer->setSpacing(8);
  auto* grid = new QGridLayout;
  grid->setHorizontalSpacing(kGridSpacing);
  grid->setVerticalSpacing(0);
  for (int field = 0; field < kFieldCount; ++field) {
    const FieldInfo& info = Field(field);
    if (info.page != page) continue;
    auto* selector = new QRadioButton(QStringLiteral("Option1"), widget);
    selector->setObjectName(ControlName("Option1", field));
    selector->setFixedSize(selector_width_, kRowHeight);
    selector->installEventFilter(this);
    // Not grouped and not auto-exclusive: Qt would take every selector of a group but the chosen
    // one out of the Tab chain, and let the arrow keys choose. Option1_Click clears the others.
    selector->setAutoExclusive(false);
    connect(selector, &QAbstractButton::clicked, this, [this, field] { OnOptionClicked(field); });
    QLineEdit* value = MakeReadOnlyBox(widget, ControlName("Text1", field));
    value->setFixedHeight(kRowHeight);
    value->installEventFilter(this);
    auto* unit = new QLabel(widget);
    unit->setObjectName(ControlName("Label2", field));
    unit->setFixedSize(unit_width_, kRowHeight);
    const int column = info.column * 3;
    grid->addWidget(selector, info.row, column);
    if (info.unit.empty()) {
      // A field without unit lends the unit's place to its value (the mode names are long).
      value->setFixedWidth(value_width_ + kGridSpacing + unit_width_);
      grid->addWidget(value, info.row, column + 1, 1, 2, Qt::AlignLeft);
    } else {
      value->setFixedWidth(value_width_);
      grid->addWidget(value, info.row, column + 1);
    }
    grid->addWidget(unit, info.row, column + 2);
    field_selectors_[static_cast<std::size_t>(field)] = selector;
    value_boxes_[static_cast<std::size_t>(field)] = value;
    unit_labels_[static_cast<std::size_t>(field)] = unit;
  }
  grid->setColumnMinimumWidth(2, unit_width_);
  grid->setColumnMinimumWidth(5, unit_width_);
  grid->setColumnStretch(9, 1);
  if (page == TabPage::kTalphex) {
    posix_time_label_ = new QLabel(widget);
    posix_time_label_->setObjectName(QStringLiteral("Label4"));
    posix_time_label_->setFixedHeight(kRowHeight);
    grid->addWidget(posix_time_label_, 0, 6, 1, 4);
  }
  outer->addLayout(grid);
  if (page == TabPage::kVave) {
    auto* lamp_grid = new QGridLayout;
    lamp_grid->setHorizontalSpacing(0);
    lamp_grid->setVerticalSpacing(0);
    AddLampGrid(lamp_grid, 0);
    outer->addLayout(lamp_grid);
  }
  outer->addStretch(1);
  return widget;
}

void MainWindow::AddLampGrid(QGridLayout* grid, int first_row) {
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    const LampInfo info = Lamp(lamp);
    auto* shape = new QFrame;
    shape->setObjectName(ControlName("Shape1", lamp));
    shape->setFrameShape(QFrame::Box);
    shape->setFixedSize(kLampWidth, kLampHeight);
    shape->setAutoFillBackground(true);
    SetFill(shape, kLampNoRecord);
    auto* caption = new QLabel(QStringLiteral("Label5"));
    caption->setObjectName(ControlName("Label5", lamp));
    caption->setFixedHeight(kLampRowHeight);
    grid->addWidget(shape, first_row + info.row, info.column * 2, Qt::AlignLeft | Qt::AlignVCenter);
    grid->addWidget(caption, first_row + info.row, info.column * 2 + 1);
    lamps_[static_cast<std::size_t>(lamp)] = shape;
    lamp_labels_[static_cast<std::size_t>(lamp)] = caption;
  }
  // Two lamp columns share the width of one field column.
  const int pair_width = selector_width_ + value_width_ + unit_width_ + 3 * kGridSpacing;
  const int first_caption = pair_width / 2 - kLampCellWidth;
  for (int column = 0; column < 6; ++column) {
    grid->setColumnMinimumWidth(column * 2, kLampCellWidth);
    grid->setColumnMinimumWidth(
        column * 2 + 1,
        column % 2 == 0 ? first_caption : pair_width - 2 * kLampCellWidth - first_caption);
  }
  grid->setColumnStretch(12, 1);
}

QWidget* MainWindow::BuildDebugPage() {
  auto* widget = new QWidget;
  widget->setObjectName(QStringLiteral("Pagedebug"));
  widget->setAutoFillBackground(true);
  auto* layout = new QVBoxLayout(widget);
  layout->setContentsMargins(kPageMargin, kPageMargin, kPageMargin, kPageMargin);
  layout->setSpacing(2);
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSizeF(8.0);
  mono.setBold(true);
  const QFontMetrics mono_metrics(mono);
  // Two pages: the frame log, and the frames with the dump of the one selected.
  auto* pages = new QTabWidget(widget);
  pages->setObjectName(QStringLiteral("DebugPages"));
  pages->setDocumentMode(true);
  // The log is a view over the kept lines: a long log costs no widget per line.
  frame_log_model_ = new FrameLogModel(this);
  frame_log_model_->SetCharSize(
      QSize(mono_metrics.horizontalAdvance(QLatin1Char('0')), mono_metrics.height()));
  frame_log_ = new FrameLogView(frame_log_model_, pages);
  frame_log_->setObjectName(QStringLiteral("Text5"));
  frame_log_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  frame_log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  frame_log_->setFont(mono);
  SetBase(frame_log_, kOtherValue);
  // The frame texts of the records on view go with the log, leaving the frames all the height.
  auto* log_page = new QWidget(pages);
  auto* log_layout = new QVBoxLayout(log_page);
  log_layout->setContentsMargins(0, 0, 0, 0);
  log_layout->setSpacing(2);
  log_layout->addWidget(frame_log_, 1);
  beacon_frame_box_ = MakeReadOnlyBox(log_page, QStringLiteral("Text3"));
  payload_frame_box_ = MakeReadOnlyBox(log_page, QStringLiteral("Text6"));
  for (QLineEdit* box : {beacon_frame_box_, payload_frame_box_}) {
    box->setFont(mono);
    SetBase(box, kOtherValue);
    log_layout->addWidget(box);
  }
  pages->addTab(log_page, QStringLiteral("Frame log"));
  pages->addTab(BuildFrameInspector(), QStringLiteral("Frames"));
  layout->addWidget(pages, 1);
  return widget;
}

QWidget* MainWindow::BuildFrameInspector() {
  auto* splitter = new QSplitter(Qt::Horizontal);
  splitter->setObjectName(QStringLiteral("FrameInspector"));
  inspector_model_ = new FrameInspectorModel(this);
  frame_table_ = new QTableView(splitter);
  frame_table_->setObjectName(QStringLiteral("FrameTable"));
  frame_table_->setModel(inspector_model_);
  frame_table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  frame_table_->setSelectionMode(QAbstractItemView::SingleSelection);
  frame_table_->setWordWrap(false);
  frame_table_->setFont(font());
  SetBase(frame_table_, kOtherValue);
  // Fixed row heights and column widths: nothing is measured over all rows.
  QHeaderView* rows = frame_table_->verticalHeader();
  rows->hide();
  rows->setSectionResizeMode(QHeaderView::Fixed);
  rows->setDefaultSectionSize(QFontMetrics(font()).height() + 2);
  QHeaderView* columns = frame_table_->horizontalHeader();
  columns->setStretchLastSection(true);
  // Each column as wide as its title or its widest usual value.
  const QFontMetrics metrics(font());
  const std::pair<int, const char*> widths[] = {
      {FrameInspectorModel::kReceived, "2026-12-31 23:59:59"},
      {FrameInspectorModel::kKind, "payload"},
      {FrameInspectorModel::kSource, "N0CALL-15"},
      {FrameInspectorModel::kDestination, "N0CALL-15"},
      {FrameInspectorModel::kLength, "65536"}};
  for (const auto& [column, sample] : widths) {
    const QString title =
        inspector_model_->headerData(column, Qt::Horizontal, Qt::DisplayRole).toString();
    columns->resizeSection(column, std::max(metrics.horizontalAdvance(QLatin1String(sample)),
                                            columns->fontMetrics().horizontalAdvance(title)) +
                                       12);
  }
  frame_dump_ = new QPlainTextEdit(splitter);
  frame_dump_->setObjectName(QStringLiteral("FrameDump"));
  frame_dump_->setReadOnly(true);
  frame_dump_->setLineWrapMode(QPlainTextEdit::NoWrap);
  QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  mono.setPointSizeF(8.0);
  frame_dump_->setFont(mono);
  SetBase(frame_dump_, kOtherValue);
  // The dump's eight bytes a line take a little over 300 pixels.
  splitter->setStretchFactor(0, 1);
  splitter->setStretchFactor(1, 0);
  splitter->setSizes({kClientWidth - 320, 320});
  connect(frame_table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) {
            frame_dump_->setPlainText(
                current.isValid() ? FrameDumpText(inspector_model_->At(current.row())) : QString());
          });
  connect(inspector_model_, &QAbstractItemModel::modelReset, frame_dump_, &QPlainTextEdit::clear);
  return splitter;
}

void MainWindow::AppendInspectorFrame(const FrameFacts& facts) { inspector_model_->Append(facts); }

void MainWindow::ClearInspector() { inspector_model_->Clear(); }

QWidget* MainWindow::BuildChartFrame() {
  chart_frame_ = new QGroupBox(centralWidget());
  chart_frame_->setObjectName(QStringLiteral("Frame1"));
  QFont title_font = font();
  title_font.setPointSizeF(9.75);
  title_font.setBold(true);
  chart_frame_->setFont(title_font);
  auto* grid = new QGridLayout(chart_frame_);
  grid->setContentsMargins(6, 4, 6, 6);
  chart_ = new ChartWidget(chart_frame_);
  chart_->setObjectName(QStringLiteral("MSChart1"));
  chart_->setFont(font());
  chart_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
  // The window shrinks no further than a chart with readable labels.
  chart_->setMinimumHeight(kMinChartHeight);
  chart_->SetDecimalSeparator(decimal_separator_);
  grid->addWidget(chart_, 0, 0);
  bars_box_ = new QCheckBox(QStringLiteral("B"), chart_frame_);
  bars_box_->setObjectName(QStringLiteral("Check1"));
  bars_box_->setFont(font());
  bars_box_->setToolTip(QStringLiteral("Bars instead of lines"));
  QSizePolicy keep_place = bars_box_->sizePolicy();
  keep_place.setRetainSizeWhenHidden(true);
  bars_box_->setSizePolicy(keep_place);
  // Over the chart's bottom right corner, as in the frame it stands in.
  grid->addWidget(bars_box_, 0, 0, Qt::AlignRight | Qt::AlignBottom);
  connect(bars_box_, &QCheckBox::clicked, this, [this] { Check1_Click(); });
  connect(chart_, &ChartWidget::recordClicked, this, [this](int record_number) {
    // A chart of the other kind (a grouped chart left standing) has no record to go to.
    if (scroll_bar_->isEnabled() && chart_->content().kind == NavigatedKind()) {
      scroll_bar_->setValue(record_number);
    }
  });
  return chart_frame_;
}

QWidget* MainWindow::BuildStatusRow() {
  auto* row = new QWidget(centralWidget());
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(7);
  screenshot_button_ = new QPushButton(QStringLiteral("S"), row);
  screenshot_button_->setObjectName(QStringLiteral("Command1"));
  screenshot_button_->setFixedSize(33, 21);
  screenshot_button_->setToolTip(QStringLiteral("Save a screenshot of the window"));
  connect(screenshot_button_, &QPushButton::clicked, this, [this] { Command1_Click(); });
  // Hidden for the screenshot or by conf.ini, the button keeps its place in the row.
  QSizePolicy keep_place = screenshot_button_->sizePolicy();
  keep_place.setRetainSizeWhenHidden(true);
  screenshot_button_->setSizePolicy(keep_place);
  status_box_ = MakeReadOnlyBox(row, QStringLiteral("Text4"));
  QPalette grey = status_box_->palette();
  grey.setColor(QPalette::Text, kStatusText);
  status_box_->setPalette(grey);
  position_box_ = MakeReadOnlyBox(row, QStringLiteral("Text2"));
  position_box_->setFixedWidth(80);
  scroll_bar_ = new QScrollBar(Qt::Horizontal, row);
  scroll_bar_->setObjectName(QStringLiteral("HScroll1"));
  scroll_bar_->setFixedSize(81, 19);
  auto* thumb_style = new ThumbStyle;
  thumb_style->setParent(scroll_bar_);
  scroll_bar_->setStyle(thumb_style);
  scroll_bar_->setRange(1, 1);
  scroll_bar_->setPageStep(1);
  scroll_bar_->setEnabled(false);
  // Takes the focus like the field grid, so that the keys step through the records.
  scroll_bar_->setFocusPolicy(Qt::StrongFocus);
  scroll_bar_->installEventFilter(this);
  // The view follows the thumb through sliderMoved; valueChanged comes when it is let go.
  scroll_bar_->setTracking(false);
  connect(scroll_bar_, &QScrollBar::valueChanged, this, [this] { HScroll1_Change(); });
  connect(scroll_bar_, &QScrollBar::sliderMoved, this, [this] { HScroll1_Scroll(); });
  layout->addWidget(screenshot_button_);
  layout->addWidget(status_box_, 1);
  layout->addWidget(position_box_);
  layout->addWidget(scroll_bar_);
  return row;
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("MnuFile"));
  QAction* open = file->addAction(QStringLiteral("Open KISS File"));
  open->setObjectName(QStringLiteral("MenuFileOpen"));
  open->setShortcut(QKeySequence::Open);
  open->setStatusTip(
      QStringLiteral("Open one or more KISS capture files (*.kss) and show their records"));
  connect(open, &QAction::triggered, this, [this] { MenuFileOpen_Click(); });
  QAction* tnc = file->addAction(QStringLiteral("Connect to TNC..."));
  tnc->setObjectName(QStringLiteral("MenuFileConnect"));
  tnc->setStatusTip(QStringLiteral(
      "Decode the frames a TNC serves over KISS TCP as they come, and record the pass"));
  connect(tnc, &QAction::triggered, this, [this] { MenuFileConnect_Click(); });
  disconnect_action_ = file->addAction(QStringLiteral("Disconnect"));
  disconnect_action_->setObjectName(QStringLiteral("MenuFileDisconnect"));
  disconnect_action_->setStatusTip(QStringLiteral("End the connection to the TNC"));
  disconnect_action_->setEnabled(false);
  connect(disconnect_action_, &QAction::triggered, this, [this] { MenuFileDisconnect_Click(); });
  file->addSeparator();
  QAction* exit = file->addAction(QStringLiteral("Exit"));
  exit->setObjectName(QStringLiteral("MenuFileExit"));
  exit->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
  exit->setStatusTip(QStringLiteral("Close the decoder"));
  connect(exit, &QAction::triggered, this, [this] { MenuFileExit_Click(); });

  QMenu* tlm = menuBar()->addMenu(QStringLiteral("&TLM File"));
  tlm->setObjectName(QStringLiteral("MnuSettings"));
  QAction* csv = tlm->addAction(QStringLiteral("Write CSV File"));
  csv->setObjectName(QStringLiteral("WriteCSVFile"));
  csv->setStatusTip(QStringLiteral(
      "Write every beacon record to <capture name>.csv beside the last capture file"));
  connect(csv, &QAction::triggered, this, [this] { WriteCSVFile_Click(); });
  QAction* report = tlm->addAction(QStringLiteral("Write TLM File"));
  report->setObjectName(QStringLiteral("WriteTLMFile"));
  report->setStatusTip(QStringLiteral(
      "Write the record on view as a report to <capture name>.tlm beside the last capture file"));
  connect(report, &QAction::triggered, this, [this] { WriteTLMFile_Click(); });
  QAction* payload = tlm->addAction(QStringLiteral("Write Payload CSV File"));
  payload->setObjectName(QStringLiteral("WritePayloadCSVFile"));
  payload->setStatusTip(QStringLiteral(
      "Write every payload record to <capture name>-payload.csv beside the last capture file"));
  connect(payload, &QAction::triggered, this, [this] { WritePayloadCSVFile_Click(); });
  QAction* analysis = tlm->addAction(QStringLiteral("Export for Analysis..."));
  analysis->setObjectName(QStringLiteral("ExportForAnalysis"));
  analysis->setStatusTip(QStringLiteral(
      "Write every record as comma-separated UTF-8, JSON Lines or InfluxDB line protocol beside "
      "the last capture file"));
  connect(analysis, &QAction::triggered, this, [this] { ExportForAnalysis_Click(); });

  QAction* info = menuBar()->addAction(QStringLiteral("&Info"));
  info->setObjectName(QStringLiteral("MnuInfo"));
  info->setStatusTip(QStringLiteral("About the decoder and the TALPHEX mission"));
  connect(info, &QAction::triggered, this, [this] { MnuInfo_Click(); });
}

// ---------------------------------------------------------------------------------------------
// Start-up, captions, record view and navigation

void MainWindow::Form_Load() {
  SetFieldCaptions();
  const WindowSettings settings = ReadWindowSettings(
      conf_ini_paths_, WindowSettings{DefaultImagePath(), true, DefaultCapturePath(), {}});
  image_path_ = settings.image_path;
  capture_path_ = settings.capture_path;
  station_ = settings.station;
  screenshot_button_->setVisible(settings.screenshot_button);
}

void MainWindow::SetFieldCaptions() {
  for (int field = 0; field < kFieldCount; ++field) {
    const FieldInfo& info = Field(field);
    field_selectors_[static_cast<std::size_t>(field)]->setText(Latin1(info.caption));
    // Fields without unit keep their empty label.
    if (!info.unit.empty())
      unit_labels_[static_cast<std::size_t>(field)]->setText(Latin1(info.unit));
  }
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    lamp_labels_[static_cast<std::size_t>(lamp)]->setText(Latin1(Lamp(lamp).caption));
  }
}

void MainWindow::ShowRecord(int record_number) {
  shown_view_ = BuildRecordView(state_, record_number, NavigatedKind(), decimal_separator_);
  for (int field = 0; field < kFieldCount; ++field) {
    value_boxes_[static_cast<std::size_t>(field)]->setText(
        Latin1(shown_view_.values[static_cast<std::size_t>(field)]));
  }
  for (int lamp = 0; lamp < kLampCount; ++lamp) {
    const LampState lit = shown_view_.lamps[static_cast<std::size_t>(lamp)];
    SetFill(lamps_[static_cast<std::size_t>(lamp)], lit == LampState::kSet     ? kLampSet
                                                    : lit == LampState::kClear ? kLampClear
                                                                               : kLampNoRecord);
  }
  time_span_label_->setText(Latin1(shown_view_.time_span));
  posix_time_label_->setText(Latin1(shown_view_.posix_time));
  rx_time_label_->setText(Latin1(shown_view_.rx_timestamp));
  beacon_frame_box_->setText(Latin1(shown_view_.beacon_frame));
  beacon_frame_box_->setCursorPosition(0);
  payload_frame_box_->setText(Latin1(shown_view_.payload_frame));
  payload_frame_box_->setCursorPosition(0);
}

int MainWindow::ScrollPosition() const { return scroll_bar_->sliderPosition(); }

void MainWindow::ShowPosition() {
  const int position = ScrollPosition();
  position_box_->setText(Latin1(PositionText(state_, position, NavigatedKind(), opened_)));
  ShowRecord(position);
  // A chart of the other kind (a grouped chart left standing) has no record to mark.
  chart_->SetMarkedRecord(chart_->content().kind == NavigatedKind() ? position : 0);
}

void MainWindow::HScroll1_Change() { ShowPosition(); }

void MainWindow::HScroll1_Scroll() { ShowPosition(); }

bool MainWindow::StepRecordsByKey(int key) {
  const int position = scroll_bar_->value();
  int target = position;
  switch (key) {
    case Qt::Key_Left:
      target = position - 1;
      break;
    case Qt::Key_Right:
      target = position + 1;
      break;
    case Qt::Key_PageUp:
      target = position - kRecordsPerPage;
      break;
    case Qt::Key_PageDown:
      target = position + kRecordsPerPage;
      break;
    case Qt::Key_Home:
      target = scroll_bar_->minimum();
      break;
    case Qt::Key_End:
      target = scroll_bar_->maximum();
      break;
    default:
      return false;
  }
  // Through the scroll bar, so that its change handler shows the record as a move of it would.
  if (scroll_bar_->isEnabled()) {
    scroll_bar_->setValue(std::clamp(target, scroll_bar_->minimum(), scroll_bar_->maximum()));
  }
  return true;
}

void MainWindow::UpdateScrollRange() {
  const auto stored = static_cast<int>(state_.StoredCount(NavigatedKind()));
  const QSignalBlocker blocker(scroll_bar_);
  scroll_bar_->setRange(1, std::max(stored, 1));
  scroll_bar_->setEnabled(stored > 0);
}

void MainWindow::OnOptionClicked(int index) {
  const bool group = group_requested_ || (QGuiApplication::keyboardModifiers() & Qt::ShiftModifier);
  group_requested_ = false;
  Option1_Click(index, group ? ChartChoice::kGroup : ChartChoice::kSingle);
}

void MainWindow::Option1_Click(int index, ChartChoice choice) {
  if (index < 0 || index >= kFieldCount) return;
  selected_field_ = index;
  chart_frame_->setTitle(Latin1(ChartTitle(index)));
  chart_->SetTitle(chart_frame_->title(), chart_frame_->font());
  chart_->SetSaveName(PathText(ChartPicturePath(state_.InputFilePath, Field(index).caption)),
                      InputsOf(state_));
  for (int field = 0; field < kFieldCount; ++field) {
    field_selectors_[static_cast<std::size_t>(field)]->setChecked(field == index);
  }
  for (QLineEdit* box : value_boxes_) SetBase(box, kOtherValue);
  SetBase(value_boxes_[static_cast<std::size_t>(index)], kChosenValue);
  UpdateScrollRange();
  if (choice == ChartChoice::kGroup) {
    // A field outside the four groups leaves the chart as it is.
    if (const auto group = FieldGroup(index)) {
      charted_group_ = group;
      chart_->SetContent(BuildGroupChart(state_, *group, last_chart_type_));
    }
  } else {
    last_chart_type_ = bars_box_->isChecked() ? ChartType::kBars : ChartType::kLines;
    charted_group_.reset();
    chart_->SetContent(BuildFieldChart(state_, index, last_chart_type_));
  }
  ShowPosition();
}

void MainWindow::Check1_Click() {
  last_chart_type_ = bars_box_->isChecked() ? ChartType::kBars : ChartType::kLines;
  charted_group_.reset();
  chart_->SetContent(BuildFieldChart(state_, selected_field_, last_chart_type_));
  chart_->SetMarkedRecord(chart_->content().kind == NavigatedKind() ? ScrollPosition() : 0);
}

// ---------------------------------------------------------------------------------------------
// Open command

void MainWindow::MenuFileOpen_Click() { RunOpenCommand(file_chooser_(this)); }

void MainWindow::OpenFiles(const QStringList& paths) { RunOpenCommand(paths); }

void MainWindow::RunOpenCommand(const std::optional<QStringList>& chosen) {
  // A file dropped while a load runs waits for no one: the running load goes on alone.
  if (loading_->running()) return;
  // The files take the place of the live frames.
  if (live_->active()) MenuFileDisconnect_Click();
  StartAfresh();
  // A cancelled choice loads the files of the last confirmed one again.
  if (chosen) chosen_files_ = *chosen;
  if (chosen_files_.isEmpty()) return;
  QStringList problems;
  LoadFiles(problems);

  // The status line says it in short; its tooltip has the full text.
  QStringList in_full = problems;
  const std::string limit =
      "the " + std::to_string(state_.store_capacity) + " records a store keeps";
  for (Kind kind : {Kind::kBeacon, Kind::kPayload}) {
    const std::string not_kept = NotKeptText(
        kind, state_.Count(kind), static_cast<std::int64_t>(state_.StoredCount(kind)), limit);
    if (!not_kept.empty()) in_full << Latin1(not_kept);
  }
  const std::string not_kept = NotKeptSummary(state_);
  if (!not_kept.empty()) problems << Latin1(not_kept);
  const std::string nothing =
      NothingToShowText(state_, chosen_files_.join(QStringLiteral(", ")).toStdString());
  // Said only when nothing else explains an empty view (a cancel, an error).
  if (!nothing.empty() && problems.isEmpty()) {
    problems << QString::fromStdString(nothing);
    in_full << QString::fromStdString(nothing);
  }
  if (!problems.isEmpty()) {
    SetStatus(problems.join(QStringLiteral("; ")), in_full.join(QStringLiteral("; ")));
  }
}

void MainWindow::StartAfresh() {
  SetFieldCaptions();
  for (QLineEdit* box : value_boxes_) box->clear();
  state_.ResetCounts();
  ClearInspector();
  opened_ = true;
}

void MainWindow::LoadFiles(QStringList& problems) {
  std::vector<std::string> paths;
  for (const QString& path : chosen_files_) paths.push_back(EncodeFileName(path).toStdString());
  // Only the status row and its Cancel button take input while the worker has the state.
  // Disabling moves the focus away; it comes back to where it was.
  const QPointer<QWidget> focused = focusWidget();
  menuBar()->setEnabled(false);
  centralWidget()->setEnabled(false);
  CaptureLoading::Outcome outcome = loading_->Run(
      state_, paths,
      [this](std::size_t index) { SetStatus(chosen_files_[static_cast<int>(index)]); },
      frame_log_model_->Take());
  menuBar()->setEnabled(true);
  centralWidget()->setEnabled(true);
  if (focused) focused->setFocus();
  // Text4 names the last file read, however fast the files went by.
  if (!outcome.results.empty())
    SetStatus(chosen_files_[static_cast<int>(outcome.results.size() - 1)]);

  // The debug page keeps the newest lines of the log and shows the frames of this command.
  frame_log_model_->Append(std::move(outcome.log));
  frame_log_->scrollToBottom();
  inspector_model_->Replace(std::move(outcome.frames));
  if (outcome.cancelled) {
    problems << QStringLiteral("loading cancelled after %1 frames")
                    .arg(state_.BeaconCount + state_.PayloadCount);
  }
  for (std::size_t i = 0; i < outcome.results.size(); ++i) {
    const LoadResult& result = outcome.results[i];
    const QString& path = chosen_files_[static_cast<int>(i)];
    if (!result.ok()) problems << PathText(result.error->message);
    if (result.unrecognised) {
      problems << path + QStringLiteral(": ") + Latin1(kUnrecognisedCaptureText);
    }
    // One pass over the placeholders, so that a "%" in the path stays as it is.
    const std::tuple<std::int64_t, const char*, const char*> skips[] = {
        {result.skipped_frames, "frame", "could not be decoded (listed on the debug page)"},
        {result.duplicate_frames, "duplicate frame", "skipped"},
        {result.malformed_lines, "malformed line", "skipped (listed on the debug page)"},
    };
    for (const auto& [count, noun, what] : skips) {
      if (count == 0) continue;
      problems << QStringLiteral("%1: %2 %3 %4")
                      .arg(path, QString::number(count), Frames(count, noun), QLatin1String(what));
    }
  }
  state_.InputFilePath = paths.back();
  // The new records on view: field 17 over the beacon records.
  Option1_Click(17);
  HScroll1_Change();
}

// ---------------------------------------------------------------------------------------------
// Live decoding

void MainWindow::MenuFileConnect_Click() {
  if (const std::optional<TncChoice> choice = tnc_chooser_(this)) ConnectToTnc(*choice);
}

void MainWindow::MenuFileDisconnect_Click() {
  live_->Stop();
  // The frames that came last are shown before the connection's end.
  if (live_refresh_->isActive()) ShowLiveRecords();
  disconnect_action_->setEnabled(false);
  UpdateLiveStatus();
}

void MainWindow::ConnectToTnc(const TncChoice& choice) {
  if (loading_->running()) return;
  live_->Stop();
  live_refresh_->stop();
  StartAfresh();
  // Exports and screenshots are named after the recording, also when the pass is not recorded.
  // An earlier recording of the same second keeps its name: this one takes "-2", "-3", ...
  const QString recording =
      QDir(capture_path_)
          .filePath(QString::fromStdString(RecordingFileName(QDateTime::currentMSecsSinceEpoch())));
  state_.InputFilePath = UnusedPath(EncodeFileName(recording).toStdString());
  live_->Start(HostPort{choice.host.toStdString(), choice.port},
               choice.record ? state_.InputFilePath : std::string());
  disconnect_action_->setEnabled(true);
  live_status_->show();
  if (const std::optional<Error>& failed = live_->recorder().error()) {
    SetStatus(QStringLiteral("recording failed: ") + PathText(failed->message));
  } else {
    SetStatus(choice.record ? recording : recording + QStringLiteral(" (not recorded)"));
  }
  Option1_Click(17);
  HScroll1_Change();
  UpdateLiveStatus();
}

void MainWindow::ShowLiveRecords() {
  live_refresh_->stop();
  // At the last record (or with none yet) the view follows the newest; elsewhere it stays.
  const bool follow = !scroll_bar_->isSliderDown() &&
                      (!scroll_bar_->isEnabled() || scroll_bar_->value() == scroll_bar_->maximum());
  UpdateScrollRange();
  if (follow) {
    const QSignalBlocker blocker(scroll_bar_);
    scroll_bar_->setValue(scroll_bar_->maximum());
  }
  ChartContent content = chart_->content();
  if (content.series.empty()) {
    // The first records of the kind: a chart that had none is built whole.
    content = charted_group_ ? BuildGroupChart(state_, *charted_group_, last_chart_type_)
                             : BuildFieldChart(state_, selected_field_, last_chart_type_);
    if (!content.row_labels.empty()) chart_->SetContent(content);
  } else if (AppendChartRows(content, state_) > 0) {
    chart_->AppendRows(content);
  }
  ShowPosition();
  frame_log_model_->Append(live_->TakeLog());
  if (follow) frame_log_->scrollToBottom();
  inspector_model_->Append(live_->TakeFrames());
  UpdateLiveStatus();
}

void MainWindow::UpdateLiveStatus() {
  const QString text = live_->StatusText(QDateTime::currentMSecsSinceEpoch());
  live_status_->setText(text);
  live_status_->setToolTip(text);
  disconnect_action_->setEnabled(live_->active());
}

// ---------------------------------------------------------------------------------------------
// Exports

void MainWindow::WriteCSVFile_Click() {
  RunExport(kBeaconCsvSuffix,
            [this](std::FILE* out) { WriteBeaconCsv(out, state_, decimal_separator_); });
}

void MainWindow::WritePayloadCSVFile_Click() {
  RunExport(kPayloadCsvSuffix,
            [this](std::FILE* out) { WritePayloadCsv(out, state_, decimal_separator_); });
}

void MainWindow::ExportForAnalysis_Click() {
  const std::optional<AnalysisFormat> format = format_chooser_(this);
  if (!format) return;
  InfluxLeftOut left_out;
  const bool written = RunExport(AnalysisSuffix(*format).data(), [&](std::FILE* out) {
    left_out = WriteAnalysis(out, state_, *format, station_);
  });
  // The line protocol cannot place every record: the status says how many it left out and why.
  if (const std::string text = InfluxLeftOutText(left_out); written && !text.empty()) {
    const QString shown = status_box_->text() + QStringLiteral("; ") + QString::fromStdString(text);
    SetStatus(shown);
  }
}

void MainWindow::WriteTLMFile_Click() {
  RunExport(kReportSuffix, [this](std::FILE* out) { WriteReport(out, shown_view_); });
}

bool MainWindow::RunExport(const char* suffix, const std::function<void(std::FILE*)>& write) {
  const QFileInfo target(PathText(OutputPathFor(state_.InputFilePath, suffix)));
  Expected<std::string> written = Error{};
  if (state_.InputFilePath.empty() || CanCreateFileIn(target.absolutePath())) {
    written = ExportBeside(state_, suffix, write);
  } else {
    // A capture in a read-only folder, such as the installed sample: the user picks the place.
    const std::optional<QString> chosen = save_chooser_(this, DocumentsPathFor(target.fileName()));
    if (!chosen) {
      SetStatus(target.filePath() + QStringLiteral(" not written: its folder is read-only"));
      return false;
    }
    const std::string path = EncodeFileName(*chosen).toStdString();
    const Status saved = WritePlannedFile(InputsOf(state_), path, write);
    written = saved ? Expected<std::string>(path) : Expected<std::string>(saved.error());
  }
  ShowWritten(written);
  return written.ok();
}

void MainWindow::ShowWritten(const Expected<std::string>& written) {
  SetStatus(written ? PathText(written.value()) + QLatin1String(kHasBeenWritten)
                    : PathText(written.error().message));
}

void MainWindow::Command1_Click() {
  if (state_.InputFilePath.empty()) {
    SetStatus(QStringLiteral("no capture loaded yet: nothing to take a screenshot of"));
    return;
  }
  // Absolute, so that the status says where the picture went whatever the folder setting.
  const QString bmp_path =
      QFileInfo(PathText(ScreenshotFileName(EncodeFileName(image_path_).toStdString(),
                                            state_.InputFilePath)))
          .absoluteFilePath();
  const QFileInfo folder(QFileInfo(bmp_path).absolutePath());
  if (!folder.isDir() || !folder.isWritable()) {
    SetStatus(
        QStringLiteral("screenshot not saved: %1 is not a writable folder").arg(folder.filePath()));
    return;
  }
  bars_box_->hide();
  screenshot_button_->hide();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const QImage picture = GrabClientArea(centralWidget());
  const Status saved = SaveBmp(picture, bmp_path, InputsOf(state_));
  bars_box_->show();
  screenshot_button_->show();
  if (!saved) {
    SetStatus(QStringLiteral("screenshot not saved: ") + PathText(saved.error().message));
    return;
  }
  SetStatus(bmp_path + QStringLiteral(" saved"));
  const Expected<QString> png_path = ConvertBmpToIndexedPng(bmp_path, kBackground.rgb());
  if (!png_path) {
    ShowMessage(QStringLiteral("Error"),
                QStringLiteral("PNG conversion failed: ") + PathText(png_path.error().message));
    return;
  }
  SetStatus(png_path.value() + QStringLiteral(" converted and saved"));
}

// ---------------------------------------------------------------------------------------------
// Other commands

void MainWindow::MenuFileExit_Click() {
  if (info_window_) info_window_->close();
  close();
  QCoreApplication::quit();
}

void MainWindow::MnuInfo_Click() {
  // A window of its own, not a child of this one: the program ends when the last of the two
  // is closed.
  if (!info_window_) info_window_ = new InfoWindow();
  info_window_->show();
  info_window_->raise();
  info_window_->activateWindow();
}

void MainWindow::SetStatus(const QString& text, const QString& full_text) {
  status_box_->setText(text);
  status_box_->setCursorPosition(0);
  status_box_->setToolTip(full_text.isEmpty() ? text : full_text);
}

void MainWindow::ShowMessage(const QString& title, const QString& text) {
  if (message_sink_) message_sink_(title, text);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!CaptureFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = CaptureFilesOf(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  OpenFiles(paths);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
  auto* selector = qobject_cast<QAbstractButton*>(watched);
  const auto found = std::find(field_selectors_.begin(), field_selectors_.end(), selector);
  const int index = found != field_selectors_.end()
                        ? static_cast<int>(std::distance(field_selectors_.begin(), found))
                        : -1;
  if (event->type() == QEvent::KeyPress) {
    const bool in_field_grid = index >= 0 || std::find(value_boxes_.begin(), value_boxes_.end(),
                                                       watched) != value_boxes_.end();
    const auto* key = static_cast<QKeyEvent*>(event);
    // The keys step through the records instead of moving the selection or a text cursor.
    if ((in_field_grid || watched == scroll_bar_) &&
        (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier &&
        StepRecordsByKey(key->key())) {
      return true;
    }
  }
  if (index >= 0 &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease ||
       event->type() == QEvent::MouseButtonDblClick)) {
    const auto* mouse = static_cast<QMouseEvent*>(event);
    if (mouse->button() == Qt::RightButton) {
      // A right click chooses the field and asks for its group's chart.
      if (event->type() == QEvent::MouseButtonPress) {
        selector->setChecked(true);
        Option1_Click(index, ChartChoice::kGroup);
      }
      return true;
    }
    if (event->type() == QEvent::MouseButtonPress && mouse->button() == Qt::LeftButton) {
      group_requested_ = (mouse->modifiers() & Qt::ShiftModifier) != 0;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

}  // namespace talphex
