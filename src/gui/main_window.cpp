// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDateTime>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTimer>
#include <algorithm>
#include <utility>
#include <variant>

#include "core/capture/capture_loader.h"
#include "core/capture/capture_recorder.h"
#include "core/export/exports.h"
#include "core/export/output_path.h"
#include "core/monitor/pass_summary.h"
#include "core/view/program_info.h"
#include "core/view/status_texts.h"
#include "gui/alarm_page.h"
#include "gui/capture_loading.h"
#include "gui/chart_frame.h"
#include "gui/chart_widget.h"
#include "gui/client_area.h"
#include "gui/conf_ini_paths.h"
#include "gui/debug_page.h"
#include "gui/elided_text.h"
#include "gui/field_page.h"
#include "gui/file_name.h"
#include "gui/info_window.h"
#include "gui/limit_monitor.h"
#include "gui/live_connection.h"
#include "gui/pass_summary_dialog.h"
#include "gui/save_target.h"
#include "gui/station_network.h"
#include "gui/status_row.h"
#include "gui/tnc_client.h"
#include "gui/window_commands.h"
#include "gui/window_look.h"
#include "gui/window_menus.h"

namespace talphex {
namespace {

// Client area at start, in pixels.
constexpr int kClientWidth = 717;
constexpr int kClientHeight = 638;
// The window shows the frames of a live connection at most this often.
constexpr int kLiveRefreshMs = 100;
// The field a loaded capture charts first, and where keyboard users start.
constexpr int kFirstChartedField = 17;

// Paths are bytes in the file system's encoding, not Latin-1 texts.
QString PathText(const std::string& path) { return DecodeFileName(path); }

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
      tnc_chooser_(AskForTnc),
      network_chooser_(AskForStationNetwork) {
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
  monitor_ = new LimitMonitor(statusBar(), this);
  debug_page_->AddPage(monitor_->page(), QStringLiteral("Alarms"));
  connect(monitor_, &LimitMonitor::limitsChanged, this, &MainWindow::OnLimitsChanged);
  connect(monitor_, &LimitMonitor::message, this, [this](const QString& text) { SetStatus(text); });
  connect(monitor_, &LimitMonitor::alarmChosen, this, &MainWindow::ShowAlarmRecord);
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
  network_status_ = new ElidedLabel(statusBar());
  network_status_->setObjectName(QStringLiteral("NetworkStatus"));
  statusBar()->addPermanentWidget(network_status_, 1);
  network_status_->hide();
  network_ = new StationNetwork(this);
  connect(network_, &StationNetwork::statusChanged, this, [this] { UpdateNetworkStatus(); });
  connect(network_, &StationNetwork::logged, this,
          [this] { debug_page_->AppendLog(network_->TakeLog(), true); });
  connect(network_, &StationNetwork::mergedFrames, this,
          [this](const QByteArray& kiss, qint64 rx_ms) { live_->Feed(kiss, rx_ms); });
  // Frames of a TNC or a subscription, never of files: the files' loader has its own sinks.
  live_->SetFrameTap(
      [this](const FrameFacts& facts) { network_->OfferFrame(facts, state_.RxMillisecond); });
  Form_Load();
  // Keyboard users start on the field that a loaded capture charts first.
  field_pages_[0]->selector(kFirstChartedField)->setFocus();
  const QSize least = centralWidget()->minimumSizeHint();
  resize(std::max(kClientWidth, least.width()), std::max(kClientHeight, least.height()) +
                                                    menuBar()->sizeHint().height() +
                                                    statusBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
  // A running load is cancelled and its worker joined before anything it reports to goes.
  delete loading_;
  // Every sink stopped (a bounded wait) and its thread joined before the window goes.
  network_->disconnect(this);
  delete network_;
  // Before the state it feeds goes.
  delete live_;
  delete info_window_;
}

// ---------------------------------------------------------------------------------------------
// Widgets

void MainWindow::BuildWidgets() {
  const QFont font = UseFormLook(this);
  auto* client = new ClientArea(font, decimal_separator_, this);
  setCentralWidget(client);
  field_pages_ = client->field_pages();
  debug_page_ = client->debug_page();
  time_span_label_ = client->time_span_label();
  rx_time_label_ = client->rx_time_label();
  chart_frame_ = client->chart_frame();
  chart_ = chart_frame_->chart();
  bars_box_ = chart_frame_->bars_box();
  status_row_ = client->status_row();
  WireParts();
}

void MainWindow::WireParts() {
  for (FieldPage* page : field_pages_) {
    connect(page, &FieldPage::fieldChosen, this, &MainWindow::OnFieldChosen);
    connect(page, &FieldPage::stepRequested, this,
            [this](RecordStep step) { status_row_->Step(step); });
  }
  connect(chart_frame_, &ChartFrame::barsClicked, this, [this] { Check1_Click(); });
  connect(chart_, &ChartWidget::recordClicked, this, [this](int row) {
    const std::int64_t record =
        RecordOfChartRow(chart_->content(), NavigatedKind(), row, status_row_->range());
    if (record > 0) status_row_->SetPosition(record);
  });
  connect(status_row_, &StatusRow::positionChanged, this, [this] { ShowPosition(); });
  connect(status_row_, &StatusRow::screenshotClicked, this, [this] { Command1_Click(); });
}

void MainWindow::BuildMenus() {
  BuildWindowMenus(menuBar());
  const std::pair<const char*, void (MainWindow::*)()> handlers[] = {
      {"MenuFileOpen", &MainWindow::MenuFileOpen_Click},
      {"MenuFileConnect", &MainWindow::MenuFileConnect_Click},
      {"MenuFileDisconnect", &MainWindow::MenuFileDisconnect_Click},
      {"MenuFileNetwork", &MainWindow::MenuFileNetwork_Click},
      {"MenuFileLimits", &MainWindow::MenuFileLimits_Click},
      {"MenuFileExit", &MainWindow::MenuFileExit_Click},
      {"WriteCSVFile", &MainWindow::WriteCSVFile_Click},
      {"WriteTLMFile", &MainWindow::WriteTLMFile_Click},
      {"WritePayloadCSVFile", &MainWindow::WritePayloadCSVFile_Click},
      {"ExportForAnalysis", &MainWindow::ExportForAnalysis_Click},
      {"PassSummary", &MainWindow::PassSummary_Click},
      {"MnuInfo", &MainWindow::MnuInfo_Click}};
  for (const auto& entry : handlers) {
    const auto handler = entry.second;
    connect(menuBar()->findChild<QAction*>(QLatin1String(entry.first)), &QAction::triggered, this,
            [this, handler] { (this->*handler)(); });
  }
  disconnect_action_ = menuBar()->findChild<QAction*>(QStringLiteral("MenuFileDisconnect"));
  disconnect_action_->setEnabled(false);
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
      WindowSettings{
          DefaultImagePath(), true, DefaultCapturePath(), {}, kDefaultLiveRecords, {}, {}, {}});
  image_path_ = settings.image_path;
  capture_path_ = settings.capture_path;
  station_ = settings.station;
  live_records_ = settings.live_records;
  network_defaults_ = {QString::fromStdString(settings.station), DecodeFileName(settings.callsign),
                       DecodeFileName(settings.longitude), DecodeFileName(settings.latitude)};
  status_row_->screenshot_button()->setVisible(settings.screenshot_button);
}

void MainWindow::SetFieldCaptions() {
  for (FieldPage* page : field_pages_) page->SetCaptions();
}

void MainWindow::ShowRecord(int record_number) {
  shown_view_ = BuildRecordView(state_, record_number, NavigatedKind(), decimal_separator_);
  for (FieldPage* page : field_pages_) page->ShowView(shown_view_);
  const ShownRecordLimits limits = JudgeShownRecord(monitor_->limits(), state_, record_number);
  for (FieldPage* page : field_pages_) page->ShowLimits(limits);
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
  chart_frame_->SetChartTitle(Latin1(ChartTitle(index)));
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
    last_chart_type_ = chart_frame_->bars() ? ChartType::kBars : ChartType::kLines;
    ShowFieldChart(index);
  }
  ShowPosition();
}

void MainWindow::Check1_Click() {
  last_chart_type_ = chart_frame_->bars() ? ChartType::kBars : ChartType::kLines;
  ShowFieldChart(selected_field_);
  MarkChartRecord();
}

void MainWindow::ShowFieldChart(int field) {
  charted_group_.reset();
  chart_->SetLimits(monitor_->LimitsOf(field));
  chart_->SetContent(BuildFieldChart(state_, field, last_chart_type_));
}

void MainWindow::RebuildChart() {
  const ChartContent content = charted_group_
                                   ? BuildGroupChart(state_, *charted_group_, last_chart_type_)
                                   : BuildFieldChart(state_, selected_field_, last_chart_type_);
  if (content.row_labels.empty()) return;
  chart_->SetLimits(charted_group_ ? std::nullopt : monitor_->LimitsOf(selected_field_));
  chart_->SetContent(content);
}

void MainWindow::SetLimitsPath(const QString& path) { monitor_->SetPath(path); }

void MainWindow::MenuFileLimits_Click() { monitor_->OpenEditor(); }

void MainWindow::OnLimitsChanged() {
  monitor_->JudgeAll(state_);
  RebuildChart();
  ShowPosition();
}

void MainWindow::ShowAlarmRecord(const Alarm& alarm) {
  if (state_.StoredRecord(alarm.kind, alarm.record) == nullptr) {
    SetStatus(QStringLiteral("%1 record %2 is no longer kept")
                  .arg(Latin1(KindName(alarm.kind)), QString::number(alarm.record)));
    return;
  }
  // A field's alarm shows its field; a flag's, the payload field on view or the first.
  const int field = !alarm.flag                         ? alarm.index
                    : NavigatedKind() == Kind::kPayload ? selected_field_
                                                        : kFirstPayloadSlot;
  if (field != selected_field_ || charted_group_) Option1_Click(field);
  auto* client = static_cast<ClientArea*>(centralWidget());
  client->tabs()->setCurrentWidget(field_pages_[Field(field).page == TabPage::kTalphex ? 0 : 1]);
  status_row_->SetPosition(alarm.record);
}

// ---------------------------------------------------------------------------------------------
// Open command

void MainWindow::MenuFileOpen_Click() { RunOpenCommand(file_chooser_(this)); }

void MainWindow::OpenFiles(const QStringList& paths) { RunOpenCommand(paths); }

bool MainWindow::WaitForLoad(StateCommand command) {
  if (!loading_->running()) return false;
  // The newest command wins: what the user asked for last is what the window shows.
  waiting_command_ = std::move(command);
  loading_->Cancel();
  return true;
}

void MainWindow::RunOpenCommand(const std::optional<QStringList>& chosen) {
  if (WaitForLoad(OpenChoice{chosen})) return;
  // The files take the place of the live frames: the connection and its counts go.
  network_->EndSubscription();
  live_->Clear();
  live_refresh_->stop();
  live_status_->hide();
  disconnect_action_->setEnabled(false);
  StartAfresh(false);
  // A cancelled choice loads the files of the last confirmed one again.
  if (chosen) chosen_files_ = *chosen;
  if (chosen_files_.isEmpty()) {
    emit OpenFinished();
    return;
  }
  LoadFiles();
}

void MainWindow::StartAfresh(bool live) {
  SetFieldCaptions();
  monitor_->Clear();
  for (FieldPage* page : field_pages_) page->ClearValues();
  state_.ResetCounts();
  // A live station keeps the newest records, so that it never shows stale values; a file keeps
  // its first ones.
  state_.keep_newest = live;
  state_.store_capacity = live ? live_records_ : kStoreCapacity;
  FeedNetwork(live);
  ClearInspector();
  opened_ = true;
}

void MainWindow::LoadFiles() {
  std::vector<std::string> paths;
  for (const QString& path : chosen_files_) paths.push_back(EncodeFileName(path).toStdString());
  // Only the status row and its Cancel button take input while the worker has the state.
  // Disabling moves the focus away; it comes back to where it was.
  focus_before_load_ = focusWidget();
  menuBar()->setEnabled(false);
  centralWidget()->setEnabled(false);
  // What reads the state meanwhile (a timer, a resize, a programmatic call) finds an empty one.
  DecoderState state = std::exchange(state_, DecoderState{});
  state_.store_capacity = state.store_capacity;
  loading_->Start(
      std::move(state), paths, debug_page_->TakeLog(),
      [this, files = chosen_files_](std::size_t index) {
        SetStatus(files[static_cast<int>(index)]);
      },
      [this, paths, files = chosen_files_](CaptureLoading::Outcome outcome) {
        OnLoadFinished(std::move(outcome), paths, files);
      });
}

void MainWindow::OnLoadFinished(CaptureLoading::Outcome outcome,
                                const std::vector<std::string>& paths, const QStringList& files) {
  state_ = std::move(outcome.state);
  menuBar()->setEnabled(true);
  centralWidget()->setEnabled(true);
  if (focus_before_load_) focus_before_load_->setFocus();
  // The debug page keeps the newest lines of the log, those of a cancelled load too.
  debug_page_->AppendLog(std::move(outcome.log), true);
  if (waiting_command_) {
    // The cancelled load is not shown: the command that cancelled it starts afresh at once.
    const StateCommand command = *std::exchange(waiting_command_, std::nullopt);
    if (const auto* open = std::get_if<OpenChoice>(&command)) {
      RunOpenCommand(open->chosen);
    } else if (const auto* tnc = std::get_if<TncChoice>(&command)) {
      ConnectToTnc(*tnc);
    } else {
      StartSubscription();
    }
    return;
  }
  // The frames of this command on the debug page.
  debug_page_->ReplaceFrames(std::move(outcome.frames));
  state_.InputFilePath = paths.back();
  monitor_->JudgeAll(state_);
  // The new records on view: field 17 over the beacon records.
  Option1_Click(kFirstChartedField);
  HScroll1_Change();
  // Text4 names the last file read, however fast the files went by, unless there is more to
  // say: in short on the line, in full in its tooltip.
  if (!outcome.results.empty()) SetStatus(files[static_cast<int>(outcome.results.size() - 1)]);
  const OpenStatus status = OpenCommandStatus(outcome.results, outcome.cancelled, state_);
  const auto joined = [](const std::vector<std::string>& sentences) {
    QStringList texts;
    for (const std::string& sentence : sentences) texts << PathText(sentence);
    return texts.join(QStringLiteral("; "));
  };
  if (!status.brief.empty()) SetStatus(joined(status.brief), joined(status.full));
  emit OpenFinished();
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

void MainWindow::ConnectToTnc(const TncChoice& choice) {
  if (WaitForLoad(choice)) return;
  network_->EndSubscription();
  live_->Stop();
  live_refresh_->stop();
  StartAfresh(true);
  // Exports and screenshots are named after the recording, also when the pass is not recorded.
  const NewRecording recording =
      PlanNewRecording(EncodeFileName(capture_path_).toStdString(),
                       QDateTime::currentMSecsSinceEpoch(), choice.record);
  state_.InputFilePath = recording.path;
  live_->Start(HostPort{choice.host.toStdString(), choice.port},
               choice.record ? recording.path : std::string());
  disconnect_action_->setEnabled(true);
  live_status_->show();
  std::optional<Error> failed = live_->recorder().error();
  if (!recording.folder) failed = recording.folder.error();
  const QString path = PathText(recording.path);
  SetStatus(failed          ? QStringLiteral("recording failed: ") + PathText(failed->message)
            : choice.record ? path
                            : path + QStringLiteral(" (not recorded)"));
  Option1_Click(kFirstChartedField);
  HScroll1_Change();
  UpdateLiveStatus();
}

void MainWindow::ShowLiveRecords() {
  live_refresh_->stop();
  monitor_->JudgeNew(state_, true);
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
  live_status_->SetFullText(live_->StatusText());
  disconnect_action_->setEnabled(live_->active());
}

// ---------------------------------------------------------------------------------------------
// Station network

void MainWindow::MenuFileNetwork_Click() {
  if (const std::optional<NetworkChoice> choice =
          network_chooser_(this, LastNetworkChoice(network_defaults_))) {
    ApplyNetwork(*choice);
  }
}

void MainWindow::StartRememberedNetwork() {
  const NetworkChoice choice = LastNetworkChoice(network_defaults_);
  const Expected<NetworkPlan> plan = CheckNetworkChoice(choice);
  // With nothing set no connection is opened.
  if (plan && !plan.value().any()) return;
  ApplyNetwork(choice);
}

void MainWindow::ApplyNetwork(const NetworkChoice& choice) {
  Expected<NetworkPlan> plan = CheckNetworkChoice(choice);
  if (!plan) {
    // A file or a variable the remembered choice needs may have gone since.
    SetStatus(QStringLiteral("station network not started: ") +
              DecodeFileName(plan.error().message));
    return;
  }
  const bool was_subscribed = network_->subscribing();
  const bool subscribe = plan.value().subscribe;
  network_->Start(std::move(plan.value()));
  if (subscribe) {
    StartSubscription();
  } else if (was_subscribed) {
    // The subscription has ended: what it decoded stays on view, as after "Disconnect".
    live_->Stop();
    if (live_refresh_->isActive()) ShowLiveRecords();
  }
}

void MainWindow::StartSubscription() {
  if (WaitForLoad(SubscribeChoice{})) return;
  live_->Clear();
  live_refresh_->stop();
  live_status_->hide();
  disconnect_action_->setEnabled(false);
  StartAfresh(true);
  // Exports and screenshots are named as those of an unrecorded live pass.
  state_.InputFilePath = PlanNewRecording(EncodeFileName(capture_path_).toStdString(),
                                          QDateTime::currentMSecsSinceEpoch(), false)
                             .path;
  live_->StartFed(network_->subscription_source());
  network_->StartSubscription();
  SetStatus(QString::fromStdString(network_->subscription_source()));
  Option1_Click(kFirstChartedField);
  HScroll1_Change();
}

void MainWindow::FeedNetwork(bool live) {
  if (!live) {
    // The state goes to the files' loader, on a thread of its own: no sink goes with it.
    state_.record_sink = nullptr;
    return;
  }
  state_.record_sink = [this](Kind kind, const TelemetryRecord& record) {
    network_->OfferRecord(kind, record,
                          state_.sources.empty() ? std::string_view() : state_.sources.back().name);
  };
}

void MainWindow::UpdateNetworkStatus() {
  const QString text = network_->StatusText();
  network_status_->SetFullText(text);
  network_status_->setVisible(!text.isEmpty());
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

void MainWindow::PassSummary_Click() {
  const PassSummary summary = SummarizeStoredRecords(state_, monitor_->limits());
  const std::string markdown = PassSummaryMarkdown(summary);
  const auto save = [this, summary] {
    const std::optional<QString> chosen =
        save_chooser_(this, PathText(OutputPathFor(state_.InputFilePath, kPassSummarySuffix)));
    if (!chosen) return;
    const std::string path = EncodeFileName(*chosen).toStdString();
    // The name chosen says the form: JSON for ".json", else Markdown.
    const std::string text = chosen->endsWith(QStringLiteral(".json"), Qt::CaseInsensitive)
                                 ? PassSummaryJson(summary)
                                 : PassSummaryMarkdown(summary);
    const Status saved = WritePlannedFile(InputsOf(state_), path, [&text](std::FILE* out) {
      std::fwrite(text.data(), 1, text.size(), out);
    });
    SetStatus(saved ? PathText(path) + QLatin1String(kHasBeenWritten)
                    : PathText(saved.error().message));
  };
  delete pass_summary_;
  pass_summary_ = new PassSummaryDialog(QString::fromStdString(markdown), save, this);
  pass_summary_->setAttribute(Qt::WA_DeleteOnClose);
  pass_summary_->show();
}

void MainWindow::WriteTLMFile_Click() {
  RunExport(kReportSuffix, [this](std::FILE* out) { WriteReport(out, shown_view_); });
}

bool MainWindow::RunExport(const char* suffix, const std::function<void(std::FILE*)>& write) {
  const CommandOutcome outcome = WriteExport(
      state_, suffix, [this](const QString& proposed) { return save_chooser_(this, proposed); },
      write);
  SetStatus(outcome.status);
  return outcome.done;
}

void MainWindow::Command1_Click() {
  const CommandOutcome outcome = SaveScreenshot(centralWidget(), image_path_, state_,
                                                {bars_box_, status_row_->screenshot_button()});
  SetStatus(outcome.status);
  if (!outcome.error.isEmpty()) ShowMessage(QStringLiteral("Error"), outcome.error);
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
