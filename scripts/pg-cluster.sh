#!/usr/bin/env bash
# A throw-away PostgreSQL cluster for the tests, in a folder of its own, listening only on a
# socket in that folder.
#   pg-cluster.sh start DIR   creates and starts it; prints the connection URI of its database
#   pg-cluster.sh stop DIR    stops it and removes the folder
# Needs the server binaries of Debian's postgresql package. As root the server runs as the
# postgres system user, since the server refuses to run as root.
set -euo pipefail
action="${1:?start or stop}"
dir="${2:?folder}"

bindir=""
for candidate in /usr/lib/postgresql/*/bin; do
  [ -x "$candidate/initdb" ] && [ -x "$candidate/pg_ctl" ] && bindir="$candidate"
done
[ -n "$bindir" ] || { echo "PostgreSQL server binaries not found under /usr/lib/postgresql" >&2; exit 3; }

as_owner() {
  if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

case "$action" in
  start)
    mkdir -p "$dir"
    # The socket lives in the folder, so any port number will do; a varied one keeps two
    # clusters of one machine apart in every other respect too.
    port=$((20000 + RANDOM % 20000))
    [ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
    as_owner "$bindir/initdb" -D "$dir/data" -U postgres --auth=trust -E UTF8 --no-locale >"$dir/initdb.log" 2>&1 ||
      { cat "$dir/initdb.log" >&2; exit 1; }
    # Durability is of no use to a cluster that is thrown away.
    as_owner "$bindir/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 start \
      -o "-p $port -c listen_addresses='' -c unix_socket_directories='$dir' -c fsync=off -c synchronous_commit=off -c full_page_writes=off -c max_connections=200" \
      >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
    as_owner "$bindir/createdb" -h "$dir" -p "$port" -U postgres vantrel_test
    echo "postgresql:///vantrel_test?host=$dir&port=$port&user=postgres"
    ;;
  stop)
    if [ -f "$dir/data/postmaster.pid" ]; then
      as_owner "$bindir/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    fi
    rm -rf "$dir"
    ;;
  *) echo "usage: $0 start|stop DIR" >&2; exit 2 ;;
esac
