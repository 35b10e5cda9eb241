# SPDX-License-Identifier: GPL-3.0-or-later
# Sourced by the tests that start a real server: a free loopback port for it.

# True while something listens on loopback port $1.
listening() { (: >"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Prints a port from 20000 to 48999 that nothing listens on and that is none of the ports given
# (already chosen for another server of the test).
free_port() {
  local candidate taken
  for _ in $(seq 50); do
    candidate=$((20000 + RANDOM % 29000))
    listening "$candidate" && continue
    for taken in "$@"; do [ "$candidate" = "$taken" ] && continue 2; done
    echo "$candidate"
    return
  done
  echo "no free port found" >&2
  exit 1
}
