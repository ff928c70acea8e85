#!/bin/bash
# Installs what is missing, builds the package and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/install-deps.sh
source cmake/wine-env.sh
install_deps

cmake --preset mingw >/dev/null
cmake --build --preset mingw
ensure_display
ensure_prefix "$PWD/build/wineprefix"
ctest --preset mingw "$@"
