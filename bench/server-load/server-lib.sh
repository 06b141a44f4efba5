# Shell functions the server benchmarks share; sourced, not run.

# Makes a data folder for the server binary $1 at $2, with the limits per address switched
# off where that server has them; succeeds only when it does (it then hands out view keys).
init_unlimited() {  # server data
  "$1" --init "$2" >/dev/null || { echo "cannot make the data folder $2" >&2; exit 1; }
  grep -q '^reports_per_hour' "$2/platterscope-server.conf" || return 1
  printf '\nreports_per_hour = 0\npages_per_minute = 0\n' >>"$2/platterscope-server.conf"
}

# The port a server logging to $1 says it listens on, waiting up to $2 tenths of a second
# (default 100); nothing when it never says.
listening_port() {  # log [tenths]
  local port="" _
  for _ in $(seq "${2:-100}"); do
    port=$(sed -n 's/.*listening on port \([0-9]*\).*/\1/p' "$1" 2>/dev/null)
    [ -n "$port" ] && break
    sleep 0.1
  done
  echo "$port"
}
