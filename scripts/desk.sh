#!/usr/bin/env bash
# Installs what is missing, builds the release and starts the import desk.
set -euo pipefail
source "$(dirname "$0")/common.sh"
zb32_install "${ZB32_PACKAGES[@]}"
zb32_build release
exec "$ZB32_ROOT/build/release/src/app/zb32" "$@"
