#!/usr/bin/env bash
# Checks of the Debian package, run by CTest from the build folder (packaging/CMakeLists.txt):
#   check-package.sh build    BUILD_DIR WORK     packs the programs already built in BUILD_DIR into WORK/edi_*.deb
#   check-package.sh contents WORK               what the package holds and what it depends on
#   check-package.sh install  WORK               unpacked into a scratch root: every program, and a demo exchange
#   check-package.sh lintian  WORK               lintian finds no error or warning (skipped without lintian)
#   check-package.sh units    WORK               systemd-analyze verify on the units
#   check-package.sh programs BIN_DIR...         --help, --version and a wrong option of every program found
#   check-package.sh operator ADMIN SYNC         an ordinary user makes a database and runs the cycle
# Exit status 77 marks a skipped check.
set -euo pipefail

fail() {
    echo "FAIL: $*" >&2
    exit 1
}
deb_of() {
    local debs=("$1"/edi_*.deb)
    [ -f "${debs[0]}" ] || fail "no package in $1 (the package_build test makes it)"
    echo "${debs[0]}"
}

# --help and --version answer on standard output with status 0, a wrong option is a usage error: status 2,
# the message on standard error and nothing on standard output.
check_program() {
    local exe=$1 name out err
    name=$(basename "$exe")
    out=$(mktemp) err=$(mktemp)
    "$exe" --help >"$out" 2>"$err" || fail "$name --help exits $?"
    grep -q "^Uso: $name" "$out" || fail "$name --help does not start with its usage: $(head -3 "$out")"
    [ ! -s "$err" ] || fail "$name --help wrote to standard error: $(cat "$err")"
    "$exe" --version >"$out" 2>"$err" || fail "$name --version exits $?"
    grep -qx "$name (EDI - Data Interchange) [0-9][0-9.]*" "$out" || fail "$name --version: $(cat "$out")"
    local status=0
    env -u DISPLAY -u WAYLAND_DISPLAY "$exe" --sem-tal-opcao >"$out" 2>"$err" || status=$?
    [ "$status" -eq 2 ] || fail "$name --sem-tal-opcao exits $status, not 2"
    [ ! -s "$out" ] || fail "$name --sem-tal-opcao wrote to standard output: $(cat "$out")"
    grep -q -- "--sem-tal-opcao" "$err" || fail "$name --sem-tal-opcao does not name the option: $(cat "$err")"
    rm -f "$out" "$err"
    echo "ok: $name answers --help, --version and a wrong option"
}

# The user the operator's case runs as: root makes one (kept, like the package's own user); anyone else is
# the ordinary user already, unless the engine's own lock folder is open to them.
OPERATOR=edi-operador
as_operator() {
    if [ "$(id -u)" -eq 0 ]; then
        runuser -u "$OPERATOR" -- env -u FIREBIRD_LOCK -u FIREBIRD HOME=/nonexistent "$@"
    else
        env -u FIREBIRD_LOCK -u FIREBIRD "$@"
    fi
}
prepare_operator() {
    if [ "$(id -u)" -ne 0 ]; then
        [ -d /tmp/firebird ] && [ ! -w /tmp/firebird ] && return 0
        echo "not root, and /tmp/firebird is open to $(id -un): no ordinary user to try"
        exit 77
    fi
    getent passwd "$OPERATOR" >/dev/null ||
        useradd --system --no-create-home --shell /usr/sbin/nologin "$OPERATOR" 2>/dev/null ||
        getent passwd "$OPERATOR" >/dev/null || fail "cannot make the user $OPERATOR"
    # The engine's default lock folder as the server package leaves it: closed to the user.
    [ -d /tmp/firebird ] || install -d -m 0770 /tmp/firebird
    ! runuser -u "$OPERATOR" -- test -w /tmp/firebird || fail "/tmp/firebird is open to $OPERATOR"
}

# An ordinary user makes a unit's database with ADMIN (edi-admin) and runs a cycle with SYNC (edi-sync); root
# then reads the same database, and the user can still open it.
operator_case() {
    local admin=$1 sync=$2 w out
    prepare_operator
    w=$(mktemp -d)
    chmod 0755 "$w"
    [ "$(id -u)" -ne 0 ] || chown "$OPERATOR:" "$w"
    as_operator mkdir "$w/u12"
    as_operator "$admin" create-db "$w/u12/u12.fdb" --unit 12 >"$w/create.log" 2>&1 ||
        { cat "$w/create.log"; fail "create-db as an ordinary user"; }
    as_operator "$admin" init-home "$w/u12" --db "$w/u12/u12.fdb" --server 127.0.0.1:9 >/dev/null ||
        fail "init-home as an ordinary user"
    as_operator "$admin" seed "$w/u12/u12.fdb" --patients 3 >/dev/null || fail "seed as an ordinary user"
    as_operator "$sync" --home "$w/u12" export >"$w/sync.log" 2>&1 ||
        { cat "$w/sync.log"; fail "edi-sync as an ordinary user"; }
    ls "$w/u12/EDI/OUT/"PACIENTE*.xml >/dev/null 2>&1 || { cat "$w/sync.log"; fail "the export wrote no packet"; }
    if [ "$(id -u)" -eq 0 ]; then
        out=$(env -u FIREBIRD_LOCK -u FIREBIRD "$admin" report "$w/u12/u12.fdb") || fail "report as root"
        out=$(as_operator "$admin" report "$w/u12/u12.fdb" 2>&1) ||
            fail "the user cannot open the database after root did: $out"
    fi
    grep -Eq '^PACIENTE +3 ' <<<"$(as_operator "$admin" report "$w/u12/u12.fdb")" ||
        fail "the user's database does not hold the 3 patients"
    rm -rf "$w"
    echo "ok: an ordinary user made a database and ran the cycle"
}

step_operator() {
    operator_case "$1" "$2"
}

step_build() {
    local build=$1 work=$2
    rm -rf "$work" && mkdir -p "$work"
    # The build folder's own binaries (stripped by CPack); nothing is compiled again.
    cpack -G DEB --config "$build/CPackConfig.cmake" -B "$work" >"$work/cpack.log" 2>&1 ||
        { cat "$work/cpack.log"; fail "cpack"; }
    echo "ok: built $(basename "$(deb_of "$work")")"
}

step_contents() {
    local deb listing control
    deb=$(deb_of "$1")
    listing=$(dpkg-deb -c "$deb" | awk '{print $6}' | sed 's#^\./#/#')
    for f in /usr/bin/edi-sync /usr/bin/edi-admin /usr/bin/edi-central-server /usr/bin/edi \
        /lib/systemd/system/edi-sync@.service /lib/systemd/system/edi-central-server.service \
        /etc/default/edi-central-server /usr/share/applications/edi.desktop \
        /usr/share/icons/hicolor/256x256/apps/edi.png /usr/share/icons/hicolor/48x48/apps/edi.png \
        /usr/share/man/man1/edi-sync.1.gz /usr/share/man/man1/edi-admin.1.gz /usr/share/man/man1/edi.1.gz \
        /usr/share/man/man1/edi-central-server.1.gz /usr/share/doc/edi/README.md /usr/share/doc/edi/copyright \
        /usr/share/doc/edi/changelog.gz; do
        grep -qx "$f" <<<"$listing" || fail "the package lacks $f"
    done
    ! grep -q 'edi-bench\|edi-icone\|/test_' <<<"$listing" || fail "the package holds build tools or tests"
    control=$(dpkg-deb -f "$deb" Package Version Architecture Depends)
    grep -q '^Depends:.*firebird3.0-server-core' <<<"$control" || fail "no dependency on the embedded engine: $control"
    grep -q '^Depends:.*libfbclient2' <<<"$control" || fail "no library dependencies from shlibdeps: $control"
    grep -q '^Depends:.*libqt6widgets6' <<<"$control" || fail "no dependency on Qt: $control"
    grep -q '^Depends:.*qt6-translations-l10n' <<<"$control" || fail "no dependency on Qt's Portuguese texts: $control"
    grep -q 'adduser .*--system' <<<"$(dpkg-deb -I "$deb" postinst)" || fail "postinst does not create the user edi"
    [ "$(dpkg-deb -I "$deb" conffiles)" = /etc/default/edi-central-server ] || fail "conffiles"
    echo "ok: contents and dependencies of $(basename "$deb")"
}

step_install() {
    local work=$1 deb root bin version s port server_pid
    deb=$(deb_of "$work")
    root=$work/root
    rm -rf "$root" && dpkg -x "$deb" "$root"
    bin=$root/usr/bin
    version=$(dpkg-deb -f "$deb" Version)
    [ "$("$bin/edi-sync" --version)" = "edi-sync (EDI - Data Interchange) $version" ] ||
        fail "installed edi-sync --version: $("$bin/edi-sync" --version)"
    for exe in "$bin"/*; do
        check_program "$exe"
    done
    grep -q -- 'daemon' <<<"$(zcat "$root/usr/share/man/man1/edi-sync.1.gz")" || fail "the manual page of edi-sync"
    operator_case "$bin/edi-admin" "$bin/edi-sync"

    # A demo exchange from the installed programs: two installations made by init-home, one central server.
    s=$work/demo
    rm -rf "$s" && mkdir -p "$s"
    port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1]); s.close()')
    # Each installation with an account of its own unit, the shared account turned off.
    printf 'senha-u12\n' | "$bin/edi-admin" init-home "$s/u12" --db "$s/u12/u12.fdb" --server "127.0.0.1:$port" \
        --unit 12 --central 31 --login u12 --password-from stdin >/dev/null
    EDI_SENHA_CONTA=senha-c31 "$bin/edi-admin" init-home "$s/c31" --db "$s/c31/c31.fdb" --server "127.0.0.1:$port" \
        --unit 31 --central 31 --login c31 --password-from env >/dev/null
    printf 'senha-u12\n' | "$bin/edi-central-server" account --root "$s/central" u12 --unit 12 --password-from stdin \
        >/dev/null
    EDI_SENHA_CONTA=senha-c31 "$bin/edi-central-server" account --root "$s/central" c31 --unit 31 --password-from env \
        >/dev/null
    for d in EDI/IN EDI/OUT EDI/PROT Temp; do
        [ -d "$s/u12/$d" ] || fail "init-home did not make $d"
    done
    printf 'Pausa=50\n' >>"$s/u12/jaq.ini" # the last section is [EDI]
    printf 'Pausa=50\n' >>"$s/c31/jaq.ini"
    "$bin/edi-admin" seed "$s/u12/u12.fdb" --patients 20 >/dev/null
    "$bin/edi-central-server" --root "$s/central" --listen "127.0.0.1:$port" --central 31 --units 12 \
        --shared-account nao >"$s/central.log" 2>&1 &
    server_pid=$!
    trap 'kill -TERM $server_pid 2>/dev/null || true' EXIT
    for _ in $(seq 1 100); do
        (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
        sleep 0.05
    done
    "$bin/edi-sync" --home "$s/u12" >"$s/u12.log" 2>&1 || { cat "$s/u12.log"; fail "edi-sync at unit 12"; }
    grep -q "edi-sync (EDI - Data Interchange) $version" <<<"$(head -1 "$s/u12.log")" ||
        fail "the first line of the run is not the version: $(head -1 "$s/u12.log")"
    # An installation configured as the central unit with the account of unit 14 gets nothing of unit 31.
    EDI_SENHA_CONTA=senha-u14 "$bin/edi-admin" init-home "$s/r31" --db "$s/r31/r31.fdb" --server "127.0.0.1:$port" \
        --unit 31 --central 31 --login u14 --password-from env >/dev/null
    EDI_SENHA_CONTA=senha-u14 "$bin/edi-central-server" account --root "$s/central" u14 --unit 14 \
        --password-from env >/dev/null
    "$bin/edi-sync" --home "$s/r31" >"$s/r31.log" 2>&1 || true
    [ -z "$(find "$s/r31/EDI/IN" -name 'PACIENTE*')" ] || fail "an account of unit 14 received the packets of unit 31"
    grep -q ' 403$' "$s/central.log" || fail "the account of unit 14 was not refused: $(tail -5 "$s/central.log")"
    sed -i '/ 403$/d' "$s/central.log"
    "$bin/edi-sync" --home "$s/c31" >"$s/c31.log" 2>&1 || { cat "$s/c31.log"; fail "edi-sync at the central unit"; }
    kill -TERM "$server_pid"
    wait "$server_pid" || true
    trap - EXIT
    ! grep -Eq ' 40[13]$' "$s/central.log" || fail "a unit's own account was refused: $(grep -E ' 40[13]$' "$s/central.log")"
    local report
    report=$("$bin/edi-admin" report "$s/c31/c31.fdb")
    grep -Eq '^PACIENTE +20 .*12: 20' <<<"$report" ||
        fail "the central unit did not receive the 20 patients of unit 12: $report"
    echo "ok: the installed programs ran a demo exchange"
}

step_lintian() {
    local deb out
    command -v lintian >/dev/null || { echo "lintian is not installed"; exit 77; }
    deb=$(deb_of "$1")
    out=$(lintian --tag-display-limit 0 --fail-on error,warning "$deb" 2>&1) || { echo "$out"; fail "lintian"; }
    echo "$out"
    echo "ok: lintian reports no error or warning"
}

step_units() {
    local work=$1 dir
    command -v systemd-analyze >/dev/null || { echo "systemd-analyze is not installed"; exit 77; }
    [ -d "$work/root" ] || dpkg -x "$(deb_of "$work")" "$work/root"
    dir=$work/units
    rm -rf "$dir" && mkdir -p "$dir"
    # A template is verified through one of its instances.
    cp "$work/root/lib/systemd/system/edi-sync@.service" "$dir/edi-sync@u12.service"
    cp "$work/root/lib/systemd/system/edi-central-server.service" "$dir/"
    # verify looks for the programs on the real system: the unpacked ones stand in for them on the PATH
    # it is given, and the paths in ExecStart are checked against the package's own tree.
    grep -q '^ExecStart=/usr/bin/edi-sync --daemon --home /var/lib/edi/%i$' "$dir/edi-sync@u12.service" ||
        fail "ExecStart of edi-sync@.service"
    for f in "$dir"/*.service; do
        sed -i "s#ExecStart=/usr/bin/#ExecStart=$work/root/usr/bin/#" "$f"
    done
    SYSTEMD_LOG_LEVEL=notice systemd-analyze verify --man=no "$dir/edi-sync@u12.service" \
        "$dir/edi-central-server.service" 2>&1 | tee "$dir/verify.log"
    ! grep -v 'network-online.target\|Failed to .*connect to bus' "$dir/verify.log" |
        grep -q . || fail "systemd-analyze verify reported problems"
    echo "ok: systemd-analyze verify accepts the units"
}

step_programs() {
    for exe in "$@"; do
        [ -x "$exe" ] || fail "no program $exe"
        check_program "$exe"
    done
}

step=$1
shift
"step_$step" "$@"
