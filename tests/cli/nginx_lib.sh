# nginx on 127.0.0.1 serving $SITE for the command-line tests; sourced after
# cli_lib.sh. Skips the script when nginx is not installed. A script that
# needs more of the server sets NGINX_LOCATIONS (server-block lines) first.
NGINX=$(PATH=$PATH:/usr/sbin:/sbin command -v nginx)
if [[ -z $NGINX ]]; then
  echo "SKIP: nginx is not installed (scripts/setup.sh installs it)"
  exit 0
fi
SITE=$WORK/site
PORT= BASE= NGINX_PID=
mkdir -p "$SITE"

free_port() {
  python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])'
}

port_answers() { (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }

# Serves $SITE on a free port; sets PORT and BASE. Another process may take
# the port first: a few are tried.
start_nginx() {
  local dir=$WORK/nginx attempt tries
  mkdir -p "$dir"
  for attempt in 1 2 3 4 5; do
    PORT=$(free_port)
    cat >"$dir/nginx.conf" <<CONF
worker_processes 1;
daemon off;
pid $dir/nginx.pid;
error_log $dir/error.log warn;
$([[ $(id -u) == 0 ]] && echo "user root;")
events { worker_connections 64; }
http {
  access_log off;
  client_body_temp_path $dir/body;
  proxy_temp_path $dir/proxy;
  fastcgi_temp_path $dir/fastcgi;
  uwsgi_temp_path $dir/uwsgi;
  scgi_temp_path $dir/scgi;
  types { text/html html; image/gif gif; }
  server {
    listen 127.0.0.1:$PORT;
    root $SITE;
${NGINX_LOCATIONS:-}
  }
}
CONF
    "$NGINX" -p "$dir/" -c "$dir/nginx.conf" >"$dir/out" 2>&1 &
    NGINX_PID=$!
    for tries in $(seq 1 200); do
      port_answers "$PORT" && { BASE="http://127.0.0.1:$PORT"; return 0; }
      kill -0 "$NGINX_PID" 2>/dev/null || break
      sleep 0.05
    done
    kill "$NGINX_PID" 2>/dev/null; wait "$NGINX_PID" 2>/dev/null
  done
  echo "nginx did not start: $(cat "$dir/out" "$dir/error.log" 2>/dev/null)"
  exit 1
}

stop_nginx() {
  [[ -n $NGINX_PID ]] && kill "$NGINX_PID" 2>/dev/null && wait "$NGINX_PID" 2>/dev/null
  NGINX_PID=
}
trap 'stop_nginx; rm -rf "$WORK"' EXIT
