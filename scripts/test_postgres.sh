#!/usr/bin/env bash
# A private PostgreSQL 15 server for tests: cluster, Unix socket and log in one folder, no TCP
# port, so any number of them run side by side and none is reachable from the network.
# Usage: scripts/test_postgres.sh start DIR   creates the cluster when DIR holds none, starts it
#                                             and prints its URL (superuser "postgres", database
#                                             "postgres"; other roles log in with their password)
#        scripts/test_postgres.sh stop DIR    stops it (nothing when it is not running)
#        scripts/test_postgres.sh url DIR     prints the URL
# PostgreSQL refuses to run as root: run as root, the server runs as the user
# VORLICK_PG_OS_USER (default nobody), who then owns DIR; DIR's parents must let that user in
# (a folder under /tmp does). VORLICK_PG_BINDIR overrides /usr/lib/postgresql/15/bin.
set -euo pipefail

die() { echo "test_postgres: $*" >&2; exit 1; }
[ $# -eq 2 ] || die "usage: $0 start|stop|url DIR"
action=$1
mkdir -p "$2"
dir=$(cd "$2" && pwd)
bindir=${VORLICK_PG_BINDIR:-/usr/lib/postgresql/15/bin}
data=$dir/data
url="postgresql:///postgres?host=$dir&user=postgres"
# A Unix socket's path holds at most 107 bytes ("/.s.PGSQL.5432" included).
[ ${#dir} -le 90 ] || die "$dir is too long a path for the server's socket"

as_server=()
if [ "$(id -u)" -eq 0 ]; then
  os_user=${VORLICK_PG_OS_USER:-nobody}
  as_server=(runuser -u "$os_user" --)
fi

case $action in
  start)
    for b in initdb pg_ctl postgres; do
      [ -x "$bindir/$b" ] || die "no $bindir/$b: install the PostgreSQL 15 server (scripts/setup.sh test)"
    done
    if [ ! -f "$data/PG_VERSION" ]; then
      if [ ${#as_server[@]} -gt 0 ]; then
        chown "$os_user:" "$dir"
        "${as_server[@]}" test -w "$dir" -a -x "$dir" ||
          die "$os_user cannot reach $dir: its parent folders must let that user in"
      fi
      "${as_server[@]}" "$bindir/initdb" -D "$data" -U postgres -A trust -E UTF8 --locale=C --no-sync \
        >"$dir/initdb.log" 2>&1 || die "initdb failed: $(tail -n 5 "$dir/initdb.log")"
      # Only the socket in this folder; a test server may lose its data (fsync off).
      cat >>"$data/postgresql.conf" <<CONF
listen_addresses = ''
unix_socket_directories = '$dir'
fsync = off
full_page_writes = off
max_connections = 60
CONF
      cat >"$data/pg_hba.conf" <<HBA
local all postgres trust
local all all scram-sha-256
HBA
    fi
    "${as_server[@]}" "$bindir/pg_ctl" -D "$data" -l "$dir/server.log" -w -t 60 start >/dev/null ||
      die "the server did not start: $(tail -n 5 "$dir/server.log")"
    echo "$url"
    ;;
  stop)
    if [ -f "$data/postmaster.pid" ]; then
      "${as_server[@]}" "$bindir/pg_ctl" -D "$data" -m fast -w -t 60 stop >/dev/null
    fi
    ;;
  url) echo "$url" ;;
  *) die "unknown action '$action' (start, stop or url)" ;;
esac
