// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLocale>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QTabWidget>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <string_view>
#include <system_error>
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
#include "gui/debug_page.h"
#include "gui/elided_text.h"
#include "gui/field_page.h"
#include "gui/file_name.h"
#include "gui/info_window.h"
#include "gui/live_connection.h"
#include "gui/save_target.h"
#include "gui/screenshot.h"
#include "gui/status_row.h"
#include "gui/tnc_client.h"
#include "gui/window_look.h"

namespace talphex {
namespace {

// Client area at start, in pixels.
constexpr int kClientWidth = 717;
constexpr int kClientHeight = 638;
constexpr int kTabHeight = 249;
// Height below which the chart's labels would be cut.
constexpr int kMinChartHeight = 250;
// The window shows the frames of a live connection at most this often.
constexpr int kLiveRefreshMs = 100;
// The field a loaded capture charts first, and where keyboard users start.
constexpr int kFirstChartedField = 17;

// Paths are bytes in the file system's encoding, not Latin-1 texts.
QString PathText(const std::string& path) { return DecodeFileName(path); }

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

// A menu entry with its control name and status tip, running `handler`.
template <typename Handler>
QAction* AddAction(QMenu* menu, QObject* context, const char* caption, const char* name,
                   const char* tip, Handler handler) {
  QAction* action = menu->addAction(QString::fromLatin1(caption));
  action->setObjectName(QString::fromLatin1(name));
  action->setStatusTip(QString::fromLatin1(tip));
  QObject::connect(action, &QAction::triggered, context, handler);
  return action;
}

}  // namespace

void SetApplicationInfo() {
  QCoreApplication::setApplicationName(QStringLiteral("talphex-decoder"));
  QCoreApplication::setApplicationVersion(QStringLiteral(TALPHEX_VERSION));
}

MainWindow::MainWindow(const QStringList& conf_ini_paths, QWidget* parent)
    : QMainWindow(parent),
      conf_ini_paths_(conf_ini_paths),
      live_records_(kDefaultLiveRecords),
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
  live_status_ = new ElidedLabel(statusBar());
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
  field_pages_[0]->selector(kFirstChartedField)->setFocus();
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

  auto* client = new QWidget(this);
  client->setObjectName(QStringLiteral("Form1"));
  client->setAutoFillBackground(true);
  setCentralWidget(client);
  auto* layout = new QVBoxLayout(client);
  layout->setContentsMargins(4, 6, 4, 5);
  layout->setSpacing(6);

  tabs_ = new QTabWidget(client);
  tabs_->setObjectName(QStringLiteral("SSTab1"));
  const FieldGridMetrics metrics = FieldGridMetrics::Of(font);
  for (const TabPage page : {TabPage::kTalphex, TabPage::kVave}) {
    auto* field_page = new FieldPage(page, metrics, tabs_);
    field_pages_[static_cast<std::size_t>(page)] = field_page;
    tabs_->addTab(field_page,
                  page == TabPage::kTalphex ? QStringLiteral("TALPHEX") : QStringLiteral("VAVE"));
    connect(field_page, &FieldPage::fieldChosen, this, &MainWindow::OnFieldChosen);
    connect(field_page, &FieldPage::stepRequested, this,
            [this](RecordStep step) { status_row_->Step(step); });
  }
  debug_page_ = new DebugPage(tabs_);
  tabs_->addTab(debug_page_, QStringLiteral("debug"));
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

  layout->addWidget(BuildChartFrame(client), 1);
  status_row_ = new StatusRow(client);
  connect(status_row_, &StatusRow::positionChanged, this, [this] { ShowPosition(); });
  connect(status_row_, &StatusRow::screenshotClicked, this, [this] { Command1_Click(); });
  layout->addWidget(status_row_);
}

QWidget* MainWindow::BuildChartFrame(QWidget* parent) {
  chart_frame_ = new QGroupBox(parent);
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
  connect(chart_, &ChartWidget::recordClicked, this, [this](int row) {
    const std::int64_t record =
        RecordOfChartRow(chart_->content(), NavigatedKind(), row, status_row_->range());
    if (record > 0) status_row_->SetPosition(record);
  });
  return chart_frame_;
}

void MainWindow::BuildMenus() {
  QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
  file->setObjectName(QStringLiteral("MnuFile"));
  AddAction(file, this, "Open KISS File", "MenuFileOpen",
            "Open one or more KISS capture files (*.kss) and show their records",
            [this] { MenuFileOpen_Click(); })
      ->setShortcut(QKeySequence::Open);
  AddAction(file, this, "Connect to TNC...", "MenuFileConnect",
            "Decode the frames a TNC serves over KISS TCP as they come, and record the pass",
            [this] { MenuFileConnect_Click(); });
  disconnect_action_ =
      AddAction(file, this, "Disconnect", "MenuFileDisconnect", "End the connection to the TNC",
                [this] { MenuFileDisconnect_Click(); });
  disconnect_action_->setEnabled(false);
  file->addSeparator();
  AddAction(file, this, "Exit", "MenuFileExit", "Close the decoder", [this] {
    MenuFileExit_Click();
  })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));

  QMenu* tlm = menuBar()->addMenu(QStringLiteral("&TLM File"));
  tlm->setObjectName(QStringLiteral("MnuSettings"));
  AddAction(tlm, this, "Write CSV File", "WriteCSVFile",
            "Write every beacon record to <capture name>.csv beside the last capture file",
            [this] { WriteCSVFile_Click(); });
  AddAction(tlm, this, "Write TLM File", "WriteTLMFile",
            "Write the record on view as a report to <capture name>.tlm beside the last capture "
            "file",
            [this] { WriteTLMFile_Click(); });
  AddAction(tlm, this, "Write Payload CSV File", "WritePayloadCSVFile",
            "Write every payload record to <capture name>-payload.csv beside the last capture file",
            [this] { WritePayloadCSVFile_Click(); });
  AddAction(tlm, this, "Export for Analysis...", "ExportForAnalysis",
            "Write every record as comma-separated UTF-8, JSON Lines or InfluxDB line protocol "
            "beside the last capture file",
            [this] { ExportForAnalysis_Click(); });

  QAction* info = menuBar()->addAction(QStringLiteral("&Info"));
  info->setObjectName(QStringLiteral("MnuInfo"));
  info->setStatusTip(QStringLiteral("About the decoder and the TALPHEX mission"));
  connect(info, &QAction::triggered, this, [this] { MnuInfo_Click(); });
}

// ---------------------------------------------------------------------------------------------
// Start-up, captions, record view and navigation

void MainWindow::Form_Load() {
  SetFieldCaptions();
  ReadSettings();
}

void MainWindow::ReadSettings() {
  const WindowSettings settings = ReadWindowSettings(
      conf_ini_paths_,
      WindowSettings{DefaultImagePath(), true, DefaultCapturePath(), {}, kDefaultLiveRecords});
  image_path_ = settings.image_path;
  capture_path_ = settings.capture_path;
  station_ = settings.station;
  live_records_ = settings.live_records;
  status_row_->screenshot_button()->setVisible(settings.screenshot_button);
}

void MainWindow::SetFieldCaptions() {
  for (FieldPage* page : field_pages_) page->SetCaptions();
}

void MainWindow::ShowRecord(int record_number) {
  shown_view_ = BuildRecordView(state_, record_number, NavigatedKind(), decimal_separator_);
  for (FieldPage* page : field_pages_) page->ShowView(shown_view_);
  time_span_label_->setText(Latin1(shown_view_.time_span));
  rx_time_label_->setText(Latin1(shown_view_.rx_timestamp));
  debug_page_->ShowFrameTexts(shown_view_);
}

void MainWindow::ShowPosition() {
  const auto position = static_cast<int>(status_row_->position());
  status_row_->SetPositionText(Latin1(PositionText(state_, position, NavigatedKind(), opened_)));
  ShowRecord(position);
  MarkChartRecord();
}

void MainWindow::MarkChartRecord() {
  chart_->SetMarkedRecord(
      ChartMarkRow(chart_->content(), NavigatedKind(), status_row_->position()));
}

void MainWindow::HScroll1_Change() { ShowPosition(); }

void MainWindow::HScroll1_Scroll() { ShowPosition(); }

void MainWindow::UpdateScrollRange() {
  status_row_->SetRange(NavigableRange(state_, NavigatedKind()));
}

void MainWindow::OnFieldChosen(int field, bool group) {
  Option1_Click(field, group ? ChartChoice::kGroup : ChartChoice::kSingle);
}

void MainWindow::Option1_Click(int index, ChartChoice choice) {
  if (index < 0 || index >= kFieldCount) return;
  selected_field_ = index;
  chart_frame_->setTitle(Latin1(ChartTitle(index)));
  chart_->SetTitle(chart_frame_->title(), chart_frame_->font());
  // The picture goes beside the capture, or where every other export goes when the capture's
  // folder cannot take it (the installed sample's).
  const QFileInfo beside(PathText(ChartPicturePath(state_.InputFilePath, Field(index).caption)));
  const bool read_only = !state_.InputFilePath.empty() && !CanCreateFileIn(beside.absolutePath());
  chart_->SetSaveName(read_only ? DocumentsPathFor(beside.fileName()) : beside.filePath(),
                      InputsOf(state_));
  for (FieldPage* page : field_pages_) page->SetChosen(index);
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
  MarkChartRecord();
}

void MainWindow::RebuildChart() {
  const ChartContent content = charted_group_
                                   ? BuildGroupChart(state_, *charted_group_, last_chart_type_)
                                   : BuildFieldChart(state_, selected_field_, last_chart_type_);
  if (!content.row_labels.empty()) chart_->SetContent(content);
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
  live_status_->hide();
  StartAfresh(false);
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

void MainWindow::StartAfresh(bool live) {
  SetFieldCaptions();
  for (FieldPage* page : field_pages_) page->ClearValues();
  state_.ResetCounts();
  // A live station keeps the newest records, so that it never shows stale values; a file keeps
  // its first ones.
  state_.keep_newest = live;
  state_.store_capacity = live ? live_records_ : kStoreCapacity;
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
      debug_page_->TakeLog());
  menuBar()->setEnabled(true);
  centralWidget()->setEnabled(true);
  if (focused) focused->setFocus();
  // Text4 names the last file read, however fast the files went by.
  if (!outcome.results.empty())
    SetStatus(chosen_files_[static_cast<int>(outcome.results.size() - 1)]);

  // The debug page keeps the newest lines of the log and shows the frames of this command.
  debug_page_->AppendLog(std::move(outcome.log), true);
  debug_page_->ReplaceFrames(std::move(outcome.frames));
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
  Option1_Click(kFirstChartedField);
  HScroll1_Change();
}

void MainWindow::AppendInspectorFrame(const FrameFacts& facts) { debug_page_->AppendFrame(facts); }

void MainWindow::ClearInspector() { debug_page_->ClearFrames(); }

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

Status MainWindow::EnsureCaptureFolder() {
  const std::string folder = EncodeFileName(capture_path_).toStdString();
  std::error_code error;
  if (std::filesystem::create_directories(folder, error) || !error) return Ok();
  // A file in the way is the recorder's to report, as for any other output.
  if (std::filesystem::exists(folder)) return Ok();
  return PathError(ErrorKind::kFolderMissing, folder, "could not be created: " + error.message());
}

void MainWindow::ConnectToTnc(const TncChoice& choice) {
  if (loading_->running()) return;
  live_->Stop();
  live_refresh_->stop();
  StartAfresh(true);
  // Exports and screenshots are named after the recording, also when the pass is not recorded.
  // An earlier recording of the same second keeps its name: this one takes "-2", "-3", ...
  const QString recording =
      QDir(capture_path_)
          .filePath(QString::fromStdString(RecordingFileName(QDateTime::currentMSecsSinceEpoch())));
  state_.InputFilePath = UnusedPath(EncodeFileName(recording).toStdString());
  const Status folder = choice.record ? EnsureCaptureFolder() : Ok();
  live_->Start(HostPort{choice.host.toStdString(), choice.port},
               choice.record ? state_.InputFilePath : std::string());
  disconnect_action_->setEnabled(true);
  live_status_->show();
  if (!folder) {
    SetStatus(QStringLiteral("recording failed: ") + PathText(folder.error().message));
  } else if (const std::optional<Error>& failed = live_->recorder().error()) {
    SetStatus(QStringLiteral("recording failed: ") + PathText(failed->message));
  } else {
    SetStatus(choice.record ? recording : recording + QStringLiteral(" (not recorded)"));
  }
  Option1_Click(kFirstChartedField);
  HScroll1_Change();
  UpdateLiveStatus();
}

void MainWindow::ShowLiveRecords() {
  live_refresh_->stop();
  const bool follow =
      FollowsNewest(status_row_->position(), status_row_->range(), status_row_->dragging());
  UpdateScrollRange();
  status_row_->SetPosition(
      PositionAfterArrival(status_row_->position(), follow, status_row_->range()), true);
  ChartContent content = chart_->content();
  // The first records of the kind, or rows that moved with dropped records: built whole.
  if (content.series.empty() || content.first_record != ChartFirstRecord(state_, content.kind)) {
    RebuildChart();
  } else if (AppendChartRows(content, state_) > 0) {
    chart_->AppendRows(content);
  }
  ShowPosition();
  debug_page_->AppendLog(live_->TakeLog(), follow);
  debug_page_->AppendFrames(live_->TakeFrames());
  UpdateLiveStatus();
}

void MainWindow::UpdateLiveStatus() {
  QString text = live_->StatusText(QDateTime::currentMSecsSinceEpoch());
  const std::string dropped = DroppedRecordsText(state_, live_->recorder().recording());
  if (!dropped.empty()) text += QStringLiteral("; ") + Latin1(dropped);
  live_status_->SetFullText(text);
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
    SetStatus(status_row_->status() + QStringLiteral("; ") + QString::fromStdString(text));
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
  status_row_->screenshot_button()->hide();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  const QImage picture = GrabClientArea(centralWidget());
  const Status saved = SaveBmp(picture, bmp_path, InputsOf(state_));
  bars_box_->show();
  status_row_->screenshot_button()->show();
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
  status_row_->SetStatus(text, full_text);
}

void MainWindow::ShowMessage(const QString& title, const QString& text) {
  if (message_sink_) message_sink_(title, text);
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
  if (!CaptureFilesOf(event->mimeData()).isEmpty()) event->acceptProposedAction();
}

bool MainWindow::event(QEvent* event) {
  const bool handled = QMainWindow::event(event);
  // The style draws a focus frame only once the keyboard has moved the focus; the start focus is
  // drawn from the first activation on, so that keyboard users see where they start.
  if (event->type() == QEvent::WindowActivate && !activated_) {
    activated_ = true;
    setAttribute(Qt::WA_KeyboardFocusChange);
    if (QWidget* focused = focusWidget()) focused->update();
  }
  return handled;
}

void MainWindow::dropEvent(QDropEvent* event) {
  const QStringList paths = CaptureFilesOf(event->mimeData());
  if (paths.isEmpty()) return;
  event->acceptProposedAction();
  OpenFiles(paths);
}

}  // namespace talphex
