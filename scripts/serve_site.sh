#!/usr/bin/env bash
# Serves a folder with nginx on 127.0.0.1 at a free port, everything nginx
# writes (configuration, pid, logs, temporary files) kept in a state folder,
# so that it runs without root and leaves the system's nginx alone.
#
#   serve_site.sh start ROOT STATE [-s LINE]... [-H LINE]...
#       starts nginx in the background and prints http://127.0.0.1:PORT/
#       (the port is also in STATE/port, the requests in STATE/access.log,
#       one 'STATUS METHOD URI BYTES "IF-MODIFIED-SINCE"' a line)
#   serve_site.sh stop STATE
#       stops it and waits until it is gone; harmless when nothing runs, so
#       a caller can name it in a trap before starting
#   serve_site.sh ROOT [-s LINE]... [-H LINE]...
#       serves in the foreground until Ctrl-C, with a temporary state folder
#
# -s LINE goes into the site's server block, -H LINE into the http block;
# @PORT@ in either stands for the chosen port. For example
#   -s 'location = /old.html { return 301 /new.html; }'
#   -H 'server { listen 127.0.0.2:@PORT@; root /srv/other; }'
set -euo pipefail

usage() {
  sed -n '2,/^set -e/p' "$0" | sed '$d; s/^# \{0,1\}//' >&2
  exit 2
}

die() {
  echo "serve_site.sh: $*" >&2
  exit 1
}

# The pid of the nginx master serving STATE, or nothing: a pid whose process
# is gone, a zombie or another program (the number reused) does not count.
running_pid() {
  local state=$1 pid
  [ -r "$state/master.pid" ] || return 0
  pid=$(cat "$state/master.pid")
  [[ $pid =~ ^[0-9]+$ ]] || return 0
  [ -r "/proc/$pid/cmdline" ] || return 0
  tr '\0' ' ' <"/proc/$pid/cmdline" | grep -qF -- "$state/nginx.conf" || return 0
  [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" != Z ] || return 0
  echo "$pid"
}

stop_server() {
  local state pid workers i
  state=$(cd "$1" 2>/dev/null && pwd) || return 0
  pid=$(running_pid "$state")
  if [ -n "$pid" ]; then
    # Fast shutdown; nginx stops its workers itself. Killed when it takes
    # long, and then its workers with it, which would otherwise run on.
    mapfile -t workers < <(pgrep -P "$pid" || true)
    kill -TERM "$pid" 2>/dev/null || true
    for ((i = 0; i < 100 && $(running_pid "$state" | wc -l) > 0; ++i)); do sleep 0.05; done
    if [ -n "$(running_pid "$state")" ]; then
      kill -KILL "$pid" "${workers[@]}" 2>/dev/null || true
      for ((i = 0; i < 40 && $(running_pid "$state" | wc -l) > 0; ++i)); do sleep 0.05; done
    fi
    if [ -n "$(running_pid "$state")" ]; then
      echo "serve_site.sh: nginx ($pid) did not stop" >&2
      return 1
    fi
  fi
  # Give whoever reaps orphans a moment, so that no zombie is left behind.
  pid=$(cat "$state/master.pid" 2>/dev/null || true)
  if [[ $pid =~ ^[0-9]+$ ]]; then
    for ((i = 0; i < 20; ++i)); do
      [ "$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null)" = Z ] || break
      sleep 0.05
    done
  fi
  return 0
}

# As root, nginx runs its workers as another user. Debian's "nobody" has no
# group of that name, which nginx would assume: name its real group. When that
# user cannot read the folder (under /root, say) the workers stay root.
worker_user() {
  local root=$1 group
  [ "$(id -u)" -eq 0 ] || return 0
  if id nobody >/dev/null 2>&1 && group=$(id -gn nobody 2>/dev/null) &&
     runuser -u nobody -- test -r "$root" -a -x "$root" 2>/dev/null; then
    echo "user nobody $group;"
  else
    echo "serve_site.sh: user nobody cannot read $root; nginx's workers run as root" >&2
    echo "user root;"
  fi
}

write_config() {
  local root=$1 state=$2 port=$3 line
  {
    echo "worker_processes 1;"
    echo "daemon off;"
    echo "pid $state/nginx.pid;"
    echo "error_log $state/error.log warn;"
    worker_user "$root"
    echo "events { worker_connections 256; }"
    echo "http {"
    for kind in client_body proxy fastcgi uwsgi scgi; do
      echo "  ${kind}_temp_path $state/$kind;"
    done
    # nginx's own list of types where the distribution keeps it, else the
    # types a small site uses.
    if [ -r /etc/nginx/mime.types ]; then
      echo "  include /etc/nginx/mime.types;"
    else
      echo "  types { text/html html htm; text/css css; text/plain txt; image/png png; image/gif gif;"
      echo "          image/jpeg jpg jpeg; image/svg+xml svg; application/pdf pdf; text/javascript js; }"
    fi
    echo "  default_type application/octet-stream;"
    echo "  log_format site '\$status \$request_method \$request_uri \$body_bytes_sent \"\$http_if_modified_since\"';"
    echo "  access_log $state/access.log site;"
    for line in "${http_lines[@]}"; do echo "  ${line//@PORT@/$port}"; done
    echo "  server {"
    echo "    listen 127.0.0.1:$port;"
    echo "    root $root;"
    for line in "${server_lines[@]}"; do echo "    ${line//@PORT@/$port}"; done
    echo "  }"
    echo "}"
  } >"$state/nginx.conf"
}

# Tries a few random ports: nginx failing to bind one (taken by another
# program) tries the next. Ready when nginx has written its pid file, which
# it does after opening its sockets.
start_server() {
  local root=$1 state=$2 nginx port attempt pid i
  nginx=$(command -v nginx || true)
  [ -n "$nginx" ] || nginx=/usr/sbin/nginx
  [ -x "$nginx" ] || die "nginx is not installed (scripts/setup.sh installs it)"
  [ -d "$root" ] || die "no folder $root"
  root=$(cd "$root" && pwd)
  mkdir -p "$state"
  state=$(cd "$state" && pwd)
  [ -z "$(running_pid "$state")" ] || die "nginx already serves from $state"
  [ "$(id -u)" -ne 0 ] || chmod 755 "$state"
  for ((attempt = 0; attempt < 8; ++attempt)); do
    port=$((20000 + RANDOM % 40000))
    rm -f "$state/nginx.pid" "$state/port"
    write_config "$root" "$state" "$port"
    "$nginx" -p "$state/" -c "$state/nginx.conf" -e "$state/error.log" >>"$state/nginx.out" 2>&1 </dev/null &
    pid=$!
    echo "$pid" >"$state/master.pid"
    for ((i = 0; i < 200; ++i)); do
      if [ -s "$state/nginx.pid" ]; then
        echo "$port" >"$state/port"
        echo "http://127.0.0.1:$port/"
        return 0
      fi
      kill -0 "$pid" 2>/dev/null || break
      sleep 0.05
    done
    stop_server "$state"
    grep -q "Address already in use" "$state/error.log" "$state/nginx.out" 2>/dev/null || break
    : >"$state/error.log"
  done
  if [ -s "$state/error.log" ]; then cat "$state/error.log" >&2; else cat "$state/nginx.out" >&2; fi
  die "nginx did not start"
}

parse_lines() {
  server_lines=()
  http_lines=()
  while [ $# -gt 0 ]; do
    case $1 in
      -s) [ $# -ge 2 ] || usage; server_lines+=("$2"); shift 2 ;;
      -H) [ $# -ge 2 ] || usage; http_lines+=("$2"); shift 2 ;;
      *) usage ;;
    esac
  done
}

[ $# -ge 1 ] || usage
case $1 in
  start)
    [ $# -ge 3 ] || usage
    root=$2 state=$3
    shift 3
    parse_lines "$@"
    start_server "$root" "$state"
    ;;
  stop)
    [ $# -eq 2 ] || usage
    stop_server "$2"
    ;;
  -h | --help) usage ;;
  *)
    root=$1
    shift
    parse_lines "$@"
    state=$(mktemp -d "${TMPDIR:-/tmp}/serve_site.XXXXXX")
    trap 'stop_server "$state"; rm -rf "$state"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    url=$(start_server "$root" "$state")
    echo "serving $(cd "$root" && pwd) at $url (Ctrl-C stops)"
    pid=$(cat "$state/master.pid")
    while kill -0 "$pid" 2>/dev/null; do sleep 1; done
    ;;
esac
