// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <optional>

#include "net/influx_url.h"
#include "net/mqtt_publisher.h"
#include "net/sids_submitter.h"

class QWidget;

namespace talphex {

// The station network as the dialog sets it: texts as typed, checked by CheckNetworkChoice.
// Passwords and tokens are never part of it: the broker's come from the password file or the
// environment, InfluxDB's token from INFLUX_TOKEN.
struct NetworkChoice {
  QString mqtt_url;
  QString station;
  QString ca_file;
  QString password_file;
  bool publish = false;
  bool subscribe = false;
  QString filter = QStringLiteral("talphex/+/frames");
  QString influx_url;
  bool sids = false;
  QString sids_url = QLatin1String(kSidsDefaultUrl);
  QString norad_id;
  QString callsign;
  QString longitude;
  QString latitude;
};

// The values of a station's conf.ini that the choice starts from before any was remembered.
struct NetworkDefaults {
  QString station;
  QString callsign;
  QString longitude;
  QString latitude;
};

// A checked choice, ready to start the sinks; each part present only when chosen.
struct NetworkPlan {
  std::optional<MqttSettings> mqtt;  // with publish or subscribe
  bool subscribe = false;
  std::string filter;
  std::optional<InfluxUrl> influx;
  std::string influx_token;
  std::optional<SidsSettings> sids;
  bool any() const { return mqtt || influx || sids; }
};

// The choice checked by the rules the command line uses: the plan, or a message naming the value
// that is wrong. The broker's credentials are read here (password file, else TALPHEX_MQTT_USER
// and TALPHEX_MQTT_PASSWORD), InfluxDB's token from INFLUX_TOKEN.
Expected<NetworkPlan> CheckNetworkChoice(const NetworkChoice& choice);

// The choice of the last confirmed dialog, from the user's settings; `defaults` before any.
NetworkChoice LastNetworkChoice(const NetworkDefaults& defaults);
void RememberNetworkChoice(const NetworkChoice& choice);

// The "Station Network" dialog, filled with `last`: a choice that does not check keeps the dialog
// open with the problem under its fields; nullopt when the user cancelled. A confirmed choice is
// remembered.
std::optional<NetworkChoice> AskForStationNetwork(QWidget* parent, const NetworkChoice& last);

}  // namespace talphex
