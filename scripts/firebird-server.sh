#!/usr/bin/env bash
# Starts or stops a private Firebird server on loopback for the tests; touches nothing under /etc.
#   firebird-server.sh start DIR PORT PASSWORD     (prints nothing; DIR/firebird.pid holds the pid)
#   firebird-server.sh stop DIR
set -euo pipefail
cmd=${1:?start or stop}
dir=${2:?folder}

if [ "$cmd" = stop ]; then
    [ -f "$dir/firebird.pid" ] || exit 0
    pid=$(cat "$dir/firebird.pid")
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 1 100); do kill -0 "$pid" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "$pid" 2>/dev/null || true
    rm -f "$dir/firebird.pid"
    exit 0
fi

port=${3:?port}
password=${4:?password}
mkdir -p "$dir/lock" "$dir/intl"
# A real copy: the server does not follow a symlink for its character sets.
cp -f /usr/lib/x86_64-linux-gnu/firebird/3.0/intl/libfbintl.so "$dir/intl/"
[ -f /usr/lib/x86_64-linux-gnu/firebird/3.0/intl/fbintl.conf ] && cp -f /usr/lib/x86_64-linux-gnu/firebird/3.0/intl/fbintl.conf "$dir/intl/"
cat > "$dir/firebird.conf" <<CONF
RemoteServicePort = $port
RemoteBindAddress = 127.0.0.1
SecurityDatabase = $dir/security3.fdb
ServerMode = Super
CONF
export FIREBIRD=$dir FIREBIRD_LOCK=$dir/lock
rm -f "$dir/security3.fdb"
isql-fb -q -b <<SQL
create database '$dir/security3.fdb' user SYSDBA;
create or alter user SYSDBA password '$password' using plugin Srp;
commit;
SQL
/usr/sbin/firebird >"$dir/server.out" 2>&1 &
echo $! >"$dir/firebird.pid"
pid=$(cat "$dir/firebird.pid")
for _ in $(seq 1 200); do
    if ! kill -0 "$pid" 2>/dev/null; then
        echo "firebird-server: the server exited at start" >&2
        cat "$dir/server.out" >&2
        exit 1
    fi
    if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then exit 0; fi
    sleep 0.05
done
echo "firebird-server: the server did not start listening on port $port" >&2
cat "$dir/server.out" >&2
exit 1
