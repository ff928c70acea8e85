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
# The build whose programs the tests run: the package's own, or the 64-bit test build on a
# machine that cannot execute 32-bit code. Boot its prefixes before the tests start.
if can_run_32bit; then tests_build="$PWD/build"; else tests_build="$PWD/build/x64"; fi
export SETUP_TEMPLATE_DIR="$tests_build/prefixes/templates"
ensure_prefix "$tests_build/wineprefix"
if can_run_32bit; then ensure_prefix "$SETUP_TEMPLATE_DIR/win32" win32; fi
ctest --preset mingw "$@"
