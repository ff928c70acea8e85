#!/bin/bash
# Installs what is missing, builds the package and runs build/package/setup.exe under Wine
# with the given words, in the project's own prefix (build/run-prefix).
#   ./run.sh            the install wizard
#   ./run.sh delpkg     the uninstall wizard of the installed copy (found by its uninstall entry)
#   ./run.sh s          a silent install, then a summary of what it left behind
#   ./run.sh SilentDel  the silent uninstall of the installed copy, then what is left (nothing)
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
quietly build cmake --build --preset mingw

export WINEPREFIX="$PWD/build/run-prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
had_display=${DISPLAY:-}
step "Starting the virtual display"
ensure_display
step "Booting the Wine prefix"
SETUP_TEMPLATE_DIR="$PWD/build/prefixes/templates" ensure_prefix "$WINEPREFIX"
step "Running setup.exe $*"

package="$PWD/build/package"
if ! can_run_32bit; then
  package="$PWD/build/x64/package"
  echo "This machine cannot execute 32-bit code: running the 64-bit build of the same program ($package)."
fi
setup="$package/setup.exe"
uninstall=0
silent=0
for w in "$@"; do
  case "${w,,}" in
    delpkg|-delpkg|/delpkg) uninstall=1 ;;
    silentdel|-silentdel|/silentdel) uninstall=1; silent=1 ;;
    s|-s|/s|quiet|-quiet|/quiet) silent=1 ;;
  esac
done

if [ "$uninstall" = 1 ]; then
  # The uninstall wizard runs from the installed copy that the uninstall entry starts,
  # whichever package installed it. Wine writes the registry files when its server ends and
  # every 30 s while it runs: an install of a moment ago may need that wait.
  installed=$(python3 tools/prefixread.py installed "$WINEPREFIX" | head -n1)
  if [ -z "$installed" ]; then
    timeout 40 wineserver -w || true
    installed=$(python3 tools/prefixread.py installed "$WINEPREFIX" | head -n1)
  fi
  if [ -z "$installed" ] && [ "$silent" = 0 ]; then
    echo "No installed copy: build/run-prefix has no uninstall entry of this setup." >&2
    exit 1
  fi
  # With nothing installed, the silent uninstall from the package says so and changes nothing.
  if [ -n "$installed" ]; then
    echo "Uninstalling with $installed"
    setup="$installed"
  fi
fi

if [ "$silent" = 1 ]; then
  rc=0
  "$SETUP_WINE" "$setup" "$@" || rc=$?
  wineserver -w
  echo "setup.exe exited with $rc"
  python3 tools/summary.py "$WINEPREFIX"
  exit "$rc"
fi

if [ -z "$had_display" ]; then
  # No display of our own: run on the virtual one and save a screenshot of the window.
  "$SETUP_WINE" "$setup" "$@" &
  pid=$!
  sleep 6
  mkdir -p build/screenshots
  import -display "$DISPLAY" -window root build/screenshots/run.png
  echo "Screenshot: build/screenshots/run.png"
  wineserver -k || true
  wait "$pid" 2>/dev/null || true
else
  rc=0
  "$SETUP_WINE" "$setup" "$@" || rc=$?
  echo "setup.exe exited with $rc"
  exit "$rc"
fi
