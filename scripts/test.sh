#!/usr/bin/env bash
# Installs the dependencies, builds everything and runs every test against real services.
# Usage: scripts/test.sh [ctest arguments...]     (e.g. scripts/test.sh -R db)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${EDI_BUILD_DIR:-$root/build}

"$root/scripts/install-deps.sh"

cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j"$(nproc)"

# Services the tests need, private to this run and on loopback only.
services=$(mktemp -d)
# A free port, so a Firebird already running on this machine is never in the way.
export EDI_TEST_FB_PORT=${EDI_TEST_FB_PORT:-$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')}
export EDI_TEST_FB_PASSWORD=test-$RANDOM$RANDOM
cleanup() {
    "$root/scripts/firebird-server.sh" stop "$services/firebird" || true
    "$root/scripts/postgres-server.sh" stop "$services/postgres" || true
    rm -rf "$services"
}
trap cleanup EXIT
"$root/scripts/firebird-server.sh" start "$services/firebird" "$EDI_TEST_FB_PORT" "$EDI_TEST_FB_PASSWORD"
export EDI_TEST_FB_HOST="127.0.0.1/$EDI_TEST_FB_PORT"
export EDI_TEST_FB_DIR="$services/firebird/databases"
mkdir -p "$EDI_TEST_FB_DIR"
# A scratch PostgreSQL cluster for the central server's store; its owner (postgres when run as root) must reach it.
chmod 755 "$services"
EDI_TEST_PG_PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
EDI_TEST_PG=$("$root/scripts/postgres-server.sh" start "$services/postgres" "$EDI_TEST_PG_PORT")
export EDI_TEST_PG

cd "$build"
ctest --output-on-failure -j"$(nproc)" "$@"
