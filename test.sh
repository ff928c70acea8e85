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
export SETUP_TEMPLATE_DIR="$PWD/build/prefixes/templates"
ensure_prefix "$PWD/build/wineprefix"
ensure_prefix "$PWD/build/prefixes/templates/win32" win32
ctest --preset mingw "$@"
