#!/bin/bash
# Installs what is missing, builds the package and runs every test under Wine.
set -euo pipefail
cd "$(dirname "$0")"
source cmake/steps.sh
source cmake/install-deps.sh
step "Installing missing tools"
install_deps
# After the tools: which Wine loader runs our programs depends on the installed Wine.
source cmake/wine-env.sh

step "Configuring the build"
quietly configure cmake --preset mingw
step "Building"
cmake --build --preset mingw
step "Starting the virtual display"
ensure_display
# The build whose programs the tests run: the package's own, or the 64-bit test build on a
# machine that cannot execute 32-bit code. Boot its prefixes before the tests start.
if can_run_32bit; then tests_build="$PWD/build"; else tests_build="$PWD/build/x64"; fi
export SETUP_TEMPLATE_DIR="$tests_build/prefixes/templates"
step "Booting the Wine prefixes"
ensure_prefix "$tests_build/wineprefix"
if can_run_32bit; then ensure_prefix "$SETUP_TEMPLATE_DIR/win32" win32; fi
step "Running the tests"
ctest --preset mingw "$@"
