# Shared by the set-up commands: Debian packages and the build.
# shellcheck shell=bash

ZB32_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

ZB32_PACKAGES=(
    cmake ninja-build g++ pkg-config
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libqt6sql6-odbc
    qt6-multimedia-dev libzip-dev libpq-dev libssl-dev libsqlite3-dev libjemalloc-dev libgl-dev qt6-translations-l10n fonts-dejavu-core
)
ZB32_TEST_PACKAGES=(postgresql xvfb xauth openbox at-spi2-core dbus-x11 python3-pyatspi python3-xlwt sqlite3 clang libclang-rt-14-dev poppler-utils)

# Installs the Debian packages of the list that are missing.
zb32_install() {
    local missing=()
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
    done
    if ((${#missing[@]})); then
        echo "zb32: installing ${missing[*]}"
        local sudo=""
        [ "$(id -u)" -eq 0 ] || sudo="sudo"
        $sudo apt-get update -qq
        DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
    fi
}

# Configures and builds a preset (release, ci, dev).
zb32_build() {
    local preset="$1"
    cmake --preset "$preset" -S "$ZB32_ROOT" >/dev/null
    cmake --build --preset "$preset" -j "$(nproc)"
}
