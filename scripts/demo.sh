#!/usr/bin/env bash
# Demo: unit 12 and the central unit 31 exchange their data through the reference central server.
# Installs what is needed, builds, creates both databases, seeds unit 12, runs the cycle at each side and
# shows what travelled. Everything lives in .demo/ (or $EDI_DEMO_DIR) and is made anew on every run.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EDI_BUILD_DIR:-$root/build}
demo=${EDI_DEMO_DIR:-$root/.demo}
patients=${EDI_DEMO_PATIENTS:-300}

say() { printf '\n== %s\n' "$*"; }

say "Installing dependencies and building"
"$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
targets=(edi-admin edi-sync edi-central-server)
grep -q '^EDI_BUILD_GUI:BOOL=OFF' "$build/CMakeCache.txt" 2>/dev/null || targets+=(edi)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}" >/dev/null
admin=$build/apps/edi-admin/edi-admin
sync=$build/apps/edi-sync/edi-sync
server=$build/apps/edi-central-server/edi-central-server

rm -rf "$demo"
mkdir -p "$demo/u12" "$demo/c31" "$demo/central"

# A free port on loopback for the central server.
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')

say "Creating the databases"
"$admin" create-db "$demo/u12/u12.fdb" --unit 12 --central 31
"$admin" create-db "$demo/c31/c31.fdb" --unit 31 --central 31
"$admin" seed "$demo/u12/u12.fdb" --patients "$patients"

for side in u12 c31; do
    cat >"$demo/$side/jaq.ini" <<INI
[Geral]
DB=$demo/$side/$side.fdb
[EDI]
Exportar=SIM
Importar=SIM
Tempo=60
Servidor=127.0.0.1:$port
Pausa=100
INI
done

say "Starting the central server on 127.0.0.1:$port"
"$server" --root "$demo/central" --listen "127.0.0.1:$port" --central 31 --units 12 >"$demo/central.log" 2>&1 &
server_pid=$!
trap 'kill -TERM $server_pid 2>/dev/null || true; wait $server_pid 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
    (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
    sleep 0.05
done

run_cycle() {
    say "Cycle at $1"
    "$sync" --home "$demo/$1" | grep -E '\[(estado|erro|aviso|log)\]' | grep -v 'Exportando\|Importanto\|Arquivo :' || true
}
run_cycle u12   # exports and sends the unit's data
run_cycle c31   # receives and imports it; sends the central unit's lists
run_cycle u12   # receives the lists

day=$(date +%d%m%y)
count() { find "$1" -maxdepth 1 -type f "${@:2}" 2>/dev/null | wc -l; }
say "What travelled"
echo "unit 12 sent $(count "$demo/u12/EDI/OUT/$day") files and received $(count "$demo/u12/EDI/IN/$day" -name '*.xml')"
echo "unit 31 sent $(count "$demo/c31/EDI/OUT/$day") files and received $(count "$demo/c31/EDI/IN/$day" -name '*.xml')"
say "Unit 12 database"
"$admin" report "$demo/u12/u12.fdb"
say "Central unit 31 database (rows of unit 12 arrived with their owner and code)"
"$admin" report "$demo/c31/c31.fdb"

say "Done"
echo "Server log: $demo/central.log"
echo "Open the desktop program on the same data (start the server again first to exchange more):"
echo "  $build/apps/edi/edi --home $demo/u12"
echo "  (on a machine without a display: xvfb-run -a $build/apps/edi/edi --home $demo/u12)"
