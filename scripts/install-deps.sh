#!/usr/bin/env bash
# Installs every Debian package the project needs; safe to run again.
set -euo pipefail

PACKAGES=(
    build-essential cmake pkg-config git clang-format
    libgtest-dev libgmock-dev libbenchmark-dev
    firebird-dev libfbclient2 firebird3.0-server-core firebird3.0-utils firebird3.0-server
    libcurl4-openssl-dev libpugixml-dev libzip-dev libxlsxwriter-dev libcpp-httplib-dev libsqlite3-dev
    postgresql libpq-dev
    qt6-base-dev qt6-translations-l10n fonts-dejavu-core
    python3-aiosmtpd openssl libssl-dev
    zip unzip xvfb x11-utils imagemagick
    help2man lintian dpkg-dev fakeroot
    faketime
)

missing=()
for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

SUDO=""
[ "$(id -u)" -ne 0 ] && SUDO=sudo
echo "install-deps: installing ${missing[*]}"
$SUDO apt-get update -qq
# The server package would start a system-wide Firebird on 3050; the tests run their own.
if [ ! -e /usr/sbin/policy-rc.d ]; then
    echo 'exit 101' | $SUDO tee /usr/sbin/policy-rc.d >/dev/null
    $SUDO chmod +x /usr/sbin/policy-rc.d
    trap '$SUDO rm -f /usr/sbin/policy-rc.d' EXIT
fi
DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
