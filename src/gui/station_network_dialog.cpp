// SPDX-License-Identifier: GPL-3.0-or-later
#include "gui/station_network_dialog.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QVBoxLayout>
#include <cstdlib>

#include "core/view/conf_ini.h"
#include "gui/file_name.h"
#include "net/mqtt_subscriber.h"

namespace talphex {
namespace {

constexpr double kLongitudeLimit = 180;
constexpr double kLatitudeLimit = 90;
constexpr std::int64_t kMaxNoradId = 999'999'999;

Error Problem(std::string message) { return Error{ErrorKind::kUsage, std::move(message)}; }

std::string Utf8(const QString& text) { return text.trimmed().toStdString(); }

QString Key(const char* name) { return QStringLiteral("network/") + QLatin1String(name); }

QSettings UserSettings() {
  return QSettings(QStringLiteral("talphex"), QStringLiteral("talphex-decoder"));
}

// The remembered texts, by settings key; passwords and tokens have none.
struct TextField {
  const char* key;
  QString NetworkChoice::*value;
};
constexpr TextField kTextFields[] = {
    {"mqtt_url", &NetworkChoice::mqtt_url}, {"station", &NetworkChoice::station},
    {"ca_file", &NetworkChoice::ca_file},   {"password_file", &NetworkChoice::password_file},
    {"filter", &NetworkChoice::filter},     {"influx_url", &NetworkChoice::influx_url},
    {"sids_url", &NetworkChoice::sids_url}, {"norad_id", &NetworkChoice::norad_id},
    {"callsign", &NetworkChoice::callsign}, {"longitude", &NetworkChoice::longitude},
    {"latitude", &NetworkChoice::latitude},
};
struct FlagField {
  const char* key;
  bool NetworkChoice::*value;
};
constexpr FlagField kFlagFields[] = {
    {"publish", &NetworkChoice::publish},
    {"subscribe", &NetworkChoice::subscribe},
    {"sids", &NetworkChoice::sids},
};

Expected<std::optional<MqttSettings>> CheckMqtt(const NetworkChoice& choice) {
  const std::string url_text = Utf8(choice.mqtt_url);
  if (url_text.empty()) {
    if (choice.publish || choice.subscribe)
      return Problem("Publish and Subscribe need a broker URL");
    return std::optional<MqttSettings>();
  }
  if (!choice.publish && !choice.subscribe) {
    return Problem("the broker URL needs Publish or Subscribe");
  }
  if (choice.publish && choice.subscribe) {
    return Problem("Subscribe and Publish cannot be used together");
  }
  const Expected<MqttUrl> url = ParseMqttUrl(url_text);
  if (!url) return Problem("broker URL: " + url.error().message);
  const std::string station = Utf8(choice.station);
  if (station.empty()) return Problem("MQTT needs a station name");
  if (!IsStationName(station)) {
    return Problem("station name: only letters, digits, - and _");
  }
  if (choice.subscribe) {
    if (const std::string problem = MqttFilterProblem(Utf8(choice.filter)); !problem.empty()) {
      return Problem("subscription filter: " + problem);
    }
  }
  const std::string ca_file = EncodeFileName(choice.ca_file.trimmed()).toStdString();
  if (!ca_file.empty() && !url.value().tls) return Problem("a CA file needs an mqtts:// URL");
  const std::string password_file = EncodeFileName(choice.password_file.trimmed()).toStdString();
  const auto credentials = ReadMqttCredentials(
      password_file.empty() ? std::nullopt : std::optional<std::string>(password_file),
      std::getenv("TALPHEX_MQTT_USER"), std::getenv("TALPHEX_MQTT_PASSWORD"));
  if (!credentials) {
    return Problem((password_file.empty() ? "" : "password file: ") + credentials.error().message);
  }
  return std::optional<MqttSettings>(
      MqttSettings{url.value(), station, credentials.value(), ca_file});
}

Expected<std::optional<SidsSettings>> CheckSids(const NetworkChoice& choice, bool subscribe) {
  if (!choice.sids) return std::optional<SidsSettings>();
  // A merging station's frames were heard by others, under their callsigns and positions.
  if (subscribe)
    return Problem("SiDS shares the frames this station receives, not subscribed ones");
  SidsSettings settings;
  settings.url = Utf8(choice.sids_url);
  const Expected<std::string> server = SidsServerOf(settings.url);
  if (!server) return Problem("SiDS URL: " + server.error().message);
  settings.server = server.value();
  bool whole = false;
  const qlonglong norad = choice.norad_id.trimmed().toLongLong(&whole);
  if (!whole || norad < 1 || norad > kMaxNoradId) {
    return Problem("NORAD ID: a whole number from 1 to 999999999");
  }
  settings.station.norad_id = norad;
  settings.station.version = TALPHEX_VERSION;
  settings.station.callsign = Utf8(choice.callsign);
  if (settings.station.callsign.empty()) return Problem("SiDS needs the station's callsign");
  if (!IsCallsign(settings.station.callsign)) {
    return Problem("callsign: only letters, digits, - and /");
  }
  const std::string longitude_text = Utf8(choice.longitude);
  const std::string latitude_text = Utf8(choice.latitude);
  if (longitude_text.empty() || latitude_text.empty()) {
    return Problem("SiDS needs the station's longitude and latitude");
  }
  const Expected<double> longitude = ParseDegrees(longitude_text, kLongitudeLimit);
  if (!longitude) return Problem("longitude: " + longitude.error().message);
  const Expected<double> latitude = ParseDegrees(latitude_text, kLatitudeLimit);
  if (!latitude) return Problem("latitude: " + latitude.error().message);
  settings.station.longitude = longitude.value();
  settings.station.latitude = latitude.value();
  return std::optional<SidsSettings>(std::move(settings));
}

QLineEdit* AddLine(QFormLayout* form, const char* label, const char* name, const QString& text) {
  auto* line = new QLineEdit(text);
  line->setObjectName(QLatin1String(name));
  // Wide enough for a whole write URL or a file's path.
  line->setMinimumWidth(line->fontMetrics().averageCharWidth() * 48);
  form->addRow(QLatin1String(label), line);
  return line;
}

}  // namespace

Expected<NetworkPlan> CheckNetworkChoice(const NetworkChoice& choice) {
  NetworkPlan plan;
  Expected<std::optional<MqttSettings>> mqtt = CheckMqtt(choice);
  if (!mqtt) return mqtt.error();
  plan.mqtt = std::move(mqtt.value());
  plan.subscribe = plan.mqtt && choice.subscribe;
  plan.filter = Utf8(choice.filter);
  if (const std::string url = Utf8(choice.influx_url); !url.empty()) {
    const Expected<InfluxUrl> influx = ParseInfluxUrl(url);
    if (!influx) return Problem("InfluxDB URL: " + influx.error().message);
    const char* token = std::getenv("INFLUX_TOKEN");
    plan.influx_token = token != nullptr ? token : "";
    if (influx.value().api == InfluxApi::kV2 && plan.influx_token.empty()) {
      return Problem("an InfluxDB 2 URL needs the token in the environment variable INFLUX_TOKEN");
    }
    plan.influx = influx.value();
  }
  Expected<std::optional<SidsSettings>> sids = CheckSids(choice, plan.subscribe);
  if (!sids) return sids.error();
  plan.sids = std::move(sids.value());
  return plan;
}

NetworkChoice LastNetworkChoice(const NetworkDefaults& defaults) {
  NetworkChoice choice;
  choice.station = defaults.station;
  choice.callsign = defaults.callsign;
  choice.longitude = defaults.longitude;
  choice.latitude = defaults.latitude;
  const QSettings settings = UserSettings();
  for (const TextField& field : kTextFields) {
    choice.*field.value = settings.value(Key(field.key), choice.*field.value).toString();
  }
  for (const FlagField& field : kFlagFields) {
    choice.*field.value = settings.value(Key(field.key), choice.*field.value).toBool();
  }
  return choice;
}

void RememberNetworkChoice(const NetworkChoice& choice) {
  QSettings settings = UserSettings();
  for (const TextField& field : kTextFields) settings.setValue(Key(field.key), choice.*field.value);
  for (const FlagField& field : kFlagFields) settings.setValue(Key(field.key), choice.*field.value);
}

std::optional<NetworkChoice> AskForStationNetwork(QWidget* parent, const NetworkChoice& last) {
  QDialog dialog(parent);
  dialog.setObjectName(QStringLiteral("StationNetworkDialog"));
  dialog.setWindowTitle(QStringLiteral("Station Network"));

  auto* mqtt_box = new QGroupBox(QStringLiteral("MQTT"));
  auto* mqtt = new QFormLayout(mqtt_box);
  QLineEdit* url = AddLine(mqtt, "Broker URL:", "NetMqttUrl", last.mqtt_url);
  url->setPlaceholderText(QStringLiteral("mqtt://host:1883"));
  QLineEdit* station = AddLine(mqtt, "Station:", "NetStation", last.station);
  QLineEdit* ca_file = AddLine(mqtt, "CA file (mqtts://):", "NetCaFile", last.ca_file);
  QLineEdit* password_file =
      AddLine(mqtt, "Password file (user:password):", "NetPasswordFile", last.password_file);
  password_file->setToolTip(
      QStringLiteral("Without one: TALPHEX_MQTT_USER and TALPHEX_MQTT_PASSWORD"));
  auto* publish = new QCheckBox(QStringLiteral("Publish the frames and records of a TNC"));
  publish->setObjectName(QStringLiteral("NetPublish"));
  publish->setChecked(last.publish);
  mqtt->addRow(publish);
  auto* subscribe = new QCheckBox(QStringLiteral("Subscribe: decode every station's frames"));
  subscribe->setObjectName(QStringLiteral("NetSubscribe"));
  subscribe->setChecked(last.subscribe);
  mqtt->addRow(subscribe);
  QLineEdit* filter = AddLine(mqtt, "Filter:", "NetFilter", last.filter);

  auto* influx_box = new QGroupBox(QStringLiteral("InfluxDB"));
  auto* influx_form = new QFormLayout(influx_box);
  QLineEdit* influx = AddLine(influx_form, "Write URL:", "NetInfluxUrl", last.influx_url);
  influx->setToolTip(QStringLiteral("The token of an InfluxDB 2 URL: INFLUX_TOKEN"));

  auto* sids_box = new QGroupBox(QStringLiteral("Share frames with SatNOGS DB (SiDS)"));
  sids_box->setObjectName(QStringLiteral("NetSids"));
  sids_box->setCheckable(true);
  sids_box->setChecked(last.sids);
  auto* sids_form = new QFormLayout(sids_box);
  QLineEdit* sids_url = AddLine(sids_form, "URL:", "NetSidsUrl", last.sids_url);
  QLineEdit* norad = AddLine(sids_form, "NORAD ID:", "NetNoradId", last.norad_id);
  QLineEdit* callsign = AddLine(sids_form, "Callsign:", "NetCallsign", last.callsign);
  QLineEdit* longitude = AddLine(sids_form, "Longitude (west -):", "NetLongitude", last.longitude);
  QLineEdit* latitude = AddLine(sids_form, "Latitude (south -):", "NetLatitude", last.latitude);

  auto* problem = new QLabel;
  problem->setObjectName(QStringLiteral("NetProblem"));
  problem->setWordWrap(true);
  problem->setTextFormat(Qt::PlainText);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
  buttons->setObjectName(QStringLiteral("NetButtons"));
  const auto chosen = [&] {
    NetworkChoice choice;
    choice.mqtt_url = url->text();
    choice.station = station->text();
    choice.ca_file = ca_file->text();
    choice.password_file = password_file->text();
    choice.publish = publish->isChecked();
    choice.subscribe = subscribe->isChecked();
    choice.filter = filter->text();
    choice.influx_url = influx->text();
    choice.sids = sids_box->isChecked();
    choice.sids_url = sids_url->text();
    choice.norad_id = norad->text();
    choice.callsign = callsign->text();
    choice.longitude = longitude->text();
    choice.latitude = latitude->text();
    return choice;
  };
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, [&] {
    const Expected<NetworkPlan> checked = CheckNetworkChoice(chosen());
    if (checked) {
      dialog.accept();
    } else {
      // The program's words with the user's text in them: shown as plain text.
      problem->setText(DecodeFileName(checked.error().message));
    }
  });
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(mqtt_box);
  layout->addWidget(influx_box);
  layout->addWidget(sids_box);
  layout->addWidget(problem);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const NetworkChoice choice = chosen();
  RememberNetworkChoice(choice);
  return choice;
}

}  // namespace talphex
