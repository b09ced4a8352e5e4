#!/usr/bin/env bash
# Starts or stops a private PostgreSQL cluster on loopback for the tests; touches nothing under /etc.
#   postgres-server.sh start DIR PORT     (prints the connection string; DIR/data holds the cluster)
#   postgres-server.sh stop DIR
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?folder}
bin=${EDI_PG_BIN:-/usr/lib/postgresql/15/bin}

# The server refuses to run as root: the cluster then belongs to the user postgres.
as_owner() {
    if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi
}

if [ "$cmd" = stop ]; then
    [ -f "$dir/data/postmaster.pid" ] || exit 0
    as_owner "$bin/pg_ctl" -D "$dir/data" -m immediate -w stop >/dev/null 2>&1 || true
    exit 0
fi

port=${3:?port}
mkdir -p "$dir"
[ "$(id -u)" -eq 0 ] && chown postgres: "$dir"
as_owner "$bin/initdb" -D "$dir/data" -U edi --auth=trust -E UTF8 --locale=C.UTF-8 >"$dir/initdb.out" 2>&1 ||
    { cat "$dir/initdb.out" >&2; exit 1; }
# Loopback only, the socket in the scratch folder, and no waiting for the disk: the cluster is thrown away.
as_owner "$bin/pg_ctl" -D "$dir/data" -l "$dir/server.log" -w -t 60 \
    -o "-c listen_addresses=127.0.0.1 -c port=$port -c unix_socket_directories=$dir -c fsync=off -c max_connections=200" \
    start >/dev/null || { cat "$dir/server.log" >&2; exit 1; }
echo "host=127.0.0.1 port=$port user=edi dbname=postgres"
