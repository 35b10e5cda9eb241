// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QStringList>
#include <array>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <variant>

#include "core/base/expected.h"
#include "core/capture/frame_facts.h"
#include "core/chart/chart_model.h"
#include "core/decode/decoder_state.h"
#include "core/export/analysis_exports.h"
#include "core/monitor/alarms.h"
#include "core/view/field_catalogue.h"
#include "core/view/record_view.h"
#include "gui/capture_loading.h"
#include "gui/connect_dialog.h"
#include "gui/info_window.h"
#include "gui/station_network_dialog.h"

class QAction;
class QCheckBox;
class QDialog;
class QGroupBox;
class QLabel;
class QTabWidget;
class QTimer;

namespace talphex {

// Name and version of the desktop program. No display name: Qt would append it to every window
// title ("Info — TALPHEX Telemetry Decoder").
void SetApplicationInfo();

class ChartFrame;
class ChartWidget;
class DebugPage;
class ElidedLabel;
class FieldPage;
class LimitMonitor;
class StatusRow;

class LiveConnection;
class StationNetwork;

// The decoder's main window. It owns the decoder state and wires the parts that show what the
// core computes from it: the field pages, the debug page, the chart and the status row. Handlers
// keep the names users of the program know from its menus and controls.

class MainWindow : public QMainWindow {
  Q_OBJECT

 public:
  // Asks the user for capture files; nullopt when the user cancelled.
  using FileChooser = std::function<std::optional<QStringList>(QWidget* parent)>;
  // Asks where to save an export, proposing `proposed`; nullopt when the user cancelled.
  using SaveChooser =
      std::function<std::optional<QString>(QWidget* parent, const QString& proposed)>;
  // Asks for the format of "Export for Analysis..."; nullopt when the user cancelled.
  using FormatChooser = std::function<std::optional<AnalysisFormat>(QWidget* parent)>;
  // Asks where the TNC is ("Connect to TNC..."); nullopt when the user cancelled.
  using TncChooser = std::function<std::optional<TncChoice>(QWidget* parent)>;
  // The "Station Network" dialog, filled with the last choice; nullopt when the user cancelled.
  using NetworkChooser =
      std::function<std::optional<NetworkChoice>(QWidget* parent, const NetworkChoice& last)>;
  // Shows a message box with a title and a text.
  using MessageSink = std::function<void(const QString& title, const QString& text)>;

  enum class ChartChoice { kSingle, kGroup };

  // `conf_ini_paths`: where conf.ini is looked for, first found wins.
  explicit MainWindow(const QStringList& conf_ini_paths, QWidget* parent = nullptr);
  ~MainWindow() override;

  void SetFileChooser(FileChooser chooser) { file_chooser_ = std::move(chooser); }
  void SetMessageSink(MessageSink sink) { message_sink_ = std::move(sink); }
  void SetSaveChooser(SaveChooser chooser) { save_chooser_ = std::move(chooser); }
  void SetFormatChooser(FormatChooser chooser) { format_chooser_ = std::move(chooser); }
  void SetTncChooser(TncChooser chooser) { tnc_chooser_ = std::move(chooser); }
  void SetNetworkChooser(NetworkChooser chooser) { network_chooser_ = std::move(chooser); }

  // Start-up: captions, screenshot folder and conf.ini. Runs once from the constructor.
  void Form_Load();
  void SetFieldCaptions();
  // Copies the view of a record number into the widgets.
  void ShowRecord(int record_number);
  void HScroll1_Change();
  void HScroll1_Scroll();
  void MenuFileOpen_Click();
  // Opens capture files as if they had been chosen in the open dialog. The files load off the
  // user-interface thread: OpenFinished says when they are on view.
  void OpenFiles(const QStringList& paths);
  void Option1_Click(int index, ChartChoice choice = ChartChoice::kSingle);
  void Check1_Click();
  void WriteCSVFile_Click();
  void WriteTLMFile_Click();
  void WritePayloadCSVFile_Click();
  void ExportForAnalysis_Click();
  // "Pass Summary...": the summary of the stored records in a dialog, to copy or save.
  void PassSummary_Click();
  void Command1_Click();
  void MenuFileExit_Click();
  // Live decoding: "Connect to TNC..." asks where and connects; "Disconnect" ends it.
  void MenuFileConnect_Click();
  void MenuFileDisconnect_Click();
  // "Limits...": limits.ini in the system's editor.
  void MenuFileLimits_Click();
  // Starts afresh like an open command and decodes the frames of the TNC as they come. During a
  // load, the load is cancelled and the connection made when the state is back.
  void ConnectToTnc(const TncChoice& choice);
  // Shows what came since the last call: the scroll range and, while the view was at the last
  // record, the newest record; the chart's new rows; the frame log and the live status.
  void ShowLiveRecords();
  void MnuInfo_Click();
  // "Station Network...": the dialog, then its choice applied.
  void MenuFileNetwork_Click();
  // Starts the sinks of a checked choice; a subscription replaces the TNC or the files as the
  // source. A choice that does not check changes nothing and says why in the status line.
  void ApplyNetwork(const NetworkChoice& choice);
  // The choice of the last confirmed dialog, applied at start-up; nothing when none was made.
  void StartRememberedNetwork();

  // The frame inspector on the debug page: rows for frames read outside an open command (a
  // live connection), and a fresh start.
  void AppendInspectorFrame(const FrameFacts& facts);
  void ClearInspector();

  const DecoderState& state() const { return state_; }
  int selected_field() const { return selected_field_; }
  const QString& image_path() const { return image_path_; }
  // Folder of the recordings of live connections (conf.ini CAPTURE_PATH).
  const QString& capture_path() const { return capture_path_; }
  char decimal_separator() const { return decimal_separator_; }
  // The view last shown; the report is written from it.
  const RecordView& shown_view() const { return shown_view_; }
  InfoWindow* info_window() const { return info_window_; }
  LiveConnection* live() const { return live_; }
  StationNetwork* network() const { return network_; }
  LimitMonitor* monitor() const { return monitor_; }
  // The limits.ini the records are judged by (DefaultLimitsPath at start); empty for none.
  void SetLimitsPath(const QString& path);

 signals:
  // The files of an open command are on view, or it had none to load. An open command that a
  // newer command replaced while its files loaded does not finish.
  void OpenFinished();

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool event(QEvent* event) override;

 private:
  void BuildWidgets();
  // Signals of the parts to the handlers.
  void WireParts();
  void BuildMenus();
  void ReadSettings();

  // An open command's file choice; nullopt when the dialog was cancelled.
  struct OpenChoice {
    std::optional<QStringList> chosen;
  };
  // A command that replaces the decoder state's content: an open command or a connection.
  // The station network's subscription as the source.
  struct SubscribeChoice {};
  using StateCommand = std::variant<OpenChoice, TncChoice, SubscribeChoice>;
  // While a load has the state, `command` waits for it: the load is cancelled and only the
  // newest such command is kept. False when no load runs and the command can go ahead.
  bool WaitForLoad(StateCommand command);
  // The open command after the file choice: loads `paths` one after the other.
  void RunOpenCommand(const std::optional<QStringList>& chosen);
  // Hands the state to the loader for the chosen files; the window stays live meanwhile.
  void LoadFiles();
  // The state is back from the loader: the loaded records on view, or the waiting command run.
  void OnLoadFinished(CaptureLoading::Outcome outcome, const std::vector<std::string>& paths,
                      const QStringList& files);
  // The scroll bar over the stored records of the navigated kind.
  void UpdateScrollRange();
  void ShowPosition();
  // The chart row of the record on view, when the chart shows the navigated kind.
  void MarkChartRecord();
  // The chart of the chosen field or group, built anew.
  void RebuildChart();
  // Runs `write` into the export file beside the capture, or, when that folder cannot take a new
  // file, into the file the save dialog gives; the status line says where it went. True when
  // written.
  bool RunExport(const char* suffix, const std::function<void(std::FILE*)>& write);
  void SetStatus(const QString& text, const QString& full_text = QString());
  void ShowMessage(const QString& title, const QString& text);
  Kind NavigatedKind() const { return KindOfField(selected_field_); }
  void OnFieldChosen(int field, bool group);
  // What an open command and a connection do first: captions back, values cleared, counts reset.
  void StartAfresh(bool live);
  void UpdateLiveStatus();
  // Starts afresh and decodes the subscription's merged frames as a TNC's.
  void StartSubscription();
  void UpdateNetworkStatus();
  // The records of a live source to the station network's sinks; none for files.
  void FeedNetwork(bool live);
  // A field's chart over the stored records, with the field's limits.
  void ShowFieldChart(int field);
  // The limits changed: everything judged and shown again.
  void OnLimitsChanged();
  // The record of an alarm, on the page of its field.
  void ShowAlarmRecord(const Alarm& alarm);

  DecoderState state_;
  int selected_field_ = 0;
  ChartType last_chart_type_ = ChartType::kLines;
  RecordView shown_view_;
  QStringList chosen_files_;  // files of the last confirmed open command
  bool opened_ = false;       // an open command ran: the counts are no longer empty
  QStringList conf_ini_paths_;
  QString image_path_;
  QString capture_path_;
  std::string station_;       // conf.ini's STATION
  std::size_t live_records_;  // conf.ini's LIVE_RECORDS
  char decimal_separator_ = '.';

  FileChooser file_chooser_;
  MessageSink message_sink_;
  SaveChooser save_chooser_;
  FormatChooser format_chooser_;
  TncChooser tnc_chooser_;
  NetworkChooser network_chooser_;

  std::array<FieldPage*, 2> field_pages_{};
  DebugPage* debug_page_ = nullptr;
  QLabel* time_span_label_ = nullptr;  // Label3
  QLabel* rx_time_label_ = nullptr;    // Label10
  CaptureLoading* loading_ = nullptr;
  ChartFrame* chart_frame_ = nullptr;
  ChartWidget* chart_ = nullptr;
  QCheckBox* bars_box_ = nullptr;
  StatusRow* status_row_ = nullptr;
  QPointer<InfoWindow> info_window_;
  LiveConnection* live_ = nullptr;
  ElidedLabel* live_status_ = nullptr;  // LiveStatus
  QTimer* live_refresh_ = nullptr;      // single-shot: at most one refresh per interval
  QAction* disconnect_action_ = nullptr;
  StationNetwork* network_ = nullptr;
  ElidedLabel* network_status_ = nullptr;  // NetworkStatus
  NetworkDefaults network_defaults_;       // conf.ini's STATION, CALLSIGN, LONGITUDE, LATITUDE
  LimitMonitor* monitor_ = nullptr;
  QPointer<QDialog> pass_summary_;
  // The fields of the grouped chart on show; nullopt for a single-field chart.
  std::optional<std::array<int, 3>> charted_group_;
  bool activated_ = false;  // the window has been active once
  // The newest command given while a load ran; it runs when the state is back.
  std::optional<StateCommand> waiting_command_;
  // Where the focus was when the load began; it goes back there when the load ends.
  QPointer<QWidget> focus_before_load_;
};

}  // namespace talphex
