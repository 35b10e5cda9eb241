# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the tests and measuring scripts that start a real server: a free loopback port for
# it, and the configurations of the servers they start.

# True while something listens on loopback port $1.
listening() { (: >"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Prints a port from 20000 to 31999 that nothing listens on and that is none of the ports given
# (already chosen for another server of the test). The range lies below the kernel's ephemeral
# ports (32768 and up), so that no client socket of a test running beside it can hold the port
# between this check and the server's bind.
free_port() {
  local candidate taken
  for _ in $(seq 50); do
    candidate=$((20000 + RANDOM % 12000))
    listening "$candidate" && continue
    for taken in "$@"; do [ "$candidate" = "$taken" ] && continue 2; done
    echo "$candidate"
    return
  done
  echo "no free port found" >&2
  exit 1
}

# Writes DIR/influxdb.conf for an influxd with its HTTP service alone on loopback port HTTP_PORT
# (RPC_PORT for its backup service), every file in DIR, no reporting and no logs of queries:
#   influxdb_conf DIR HTTP_PORT RPC_PORT
influxdb_conf() {
  cat >"$1/influxdb.conf" <<CONF
reporting-disabled = true
bind-address = "127.0.0.1:$3"
[meta]
  dir = "$1/meta"
[data]
  dir = "$1/data"
  wal-dir = "$1/wal"
  query-log-enabled = false
[http]
  enabled = true
  bind-address = "127.0.0.1:$2"
  log-enabled = false
  max-body-size = 0
[continuous_queries]
  enabled = false
[monitor]
  store-enabled = false
[subscriber]
  enabled = false
CONF
}

# Writes DIR/mosquitto.conf for a broker on loopback port PORT that keeps its sessions and their
# messages in DIR across restarts and logs to DIR/mosquitto.log. Run as root, mosquitto becomes
# the user named here, who must be able to write DIR.
#   mosquitto_conf DIR PORT
mosquitto_conf() {
  cat >"$1/mosquitto.conf" <<CONF
user $(id -un)
listener $2 127.0.0.1
allow_anonymous true
persistence true
persistence_location $1/
max_queued_messages 100000
log_dest file $1/mosquitto.log
CONF
}
