# Shell helpers shared by test.sh, run.sh, the test wrapper and the scenario tests.

# Wine runs 32-bit Windows programs through its 32-bit loader, an i386 Linux program. Some
# virtual machines cannot execute 32-bit code: there only the 64-bit loader works, and the
# tests run a 64-bit build of the same sources (see CMakeLists.txt).
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]
}
# The loader for our programs. The choice needs Wine installed: made before that, it would
# take the 64-bit loader on every machine and keep it once Wine is there.
choose_wine() {
  [ -n "${SETUP_WINE:-}" ] && return 0
  if [ ! -x /usr/lib/wine/wine ] && [ ! -x /usr/lib/wine/wine64 ]; then
    echo "Wine is not installed (no /usr/lib/wine/wine or wine64)." >&2
    return 1
  fi
  if can_run_32bit; then SETUP_WINE=wine; else SETUP_WINE=/usr/lib/wine/wine64; fi
  export SETUP_WINE
}
choose_wine 2>/dev/null || true

# A virtual display when there is none: one Xvfb per machine on :77, 1024 x 768.
xvfb_running() {
  local pid
  pid=$(tr -d ' ' 2>/dev/null < /tmp/.X77-lock) || return 1
  [ -n "$pid" ] && kill -0 "$pid" 2>/dev/null && [ -S /tmp/.X11-unix/X77 ]
}
ensure_display() {
  if [ -n "${DISPLAY:-}" ]; then return 0; fi
  export DISPLAY=:77
  xvfb_running && return 0
  local log=/tmp/.setup-xvfb.log
  (
    flock 9 || exit 1
    if ! xvfb_running; then
      # A server killed without cleaning up leaves its lock and socket behind. The server
      # must not inherit the lock's descriptor, or it would hold the lock for its whole life.
      rm -f /tmp/.X77-lock /tmp/.X11-unix/X77
      setsid nohup Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >"$log" 2>&1 9>&- &
      for _ in $(seq 100); do xvfb_running && exit 0; sleep 0.1; done
      echo "The virtual display :77 did not start within 10 s. Xvfb said:" >&2
      cat "$log" >&2
      exit 1
    fi
  ) 9>/tmp/.setup-xvfb.lock
}

# A copy of a booted prefix at $2. Wine only reads its system folders (the DLLs, about 1.2 GB
# of the 1.3 GB), so the copy's are hard links to the original's files: a test prefix then
# costs some 30 MB of disk instead of a gigabyte and more. The ready marker comes last, so a
# copy cut short never looks whole.
clone_prefix() {
  local src="$1" dest="$2" d
  mkdir -p "$dest" || return 1
  (cd "$src" && tar --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
     --exclude=./drive_c/windows/winsxs --exclude=./.setup-ready -cf - .) | (cd "$dest" && tar -xpf -)
  [ "${PIPESTATUS[0]}${PIPESTATUS[1]}" = 00 ] || { echo "Could not copy $src to $dest" >&2; return 1; }
  for d in system32 syswow64 winsxs; do
    if [ -d "$src/drive_c/windows/$d" ]; then cp -al "$src/drive_c/windows/$d" "$dest/drive_c/windows/$d" || return 1; fi
  done
  if [ -f "$src/.setup-ready" ]; then touch "$dest/.setup-ready" || return 1; fi
}

# A Wine prefix that exists and has finished its first boot. $2 = win32 for a 32-bit
# Windows. With SETUP_TEMPLATE_DIR set, each architecture boots once into a template there
# and every further prefix is a copy of it (a first boot takes minutes under emulation).
# A failed boot is tried once more from scratch; then it fails with the reason and the end
# of the boot's log ($prefix.boot.log).
ensure_prefix() {
  local prefix="$1" arch="${2:-win64}"
  [ -f "$prefix/.setup-ready" ] && return 0
  choose_wine || return 1
  mkdir -p "$(dirname "$prefix")" || return 1
  if [ -n "${SETUP_TEMPLATE_DIR:-}" ] && [ "$prefix" != "$SETUP_TEMPLATE_DIR/$arch" ]; then
    ensure_prefix "$SETUP_TEMPLATE_DIR/$arch" "$arch" || return 1
    (
      flock 9 || exit 1
      [ -f "$prefix/.setup-ready" ] && exit 0
      rm -rf "$prefix" && clone_prefix "$SETUP_TEMPLATE_DIR/$arch" "$prefix"
    ) 9>"$prefix.lock" || { echo "Could not copy the $arch template to $prefix" >&2; return 1; }
    return 0
  fi
  (
    flock 9 || exit 1
    [ -f "$prefix/.setup-ready" ] && exit 0
    log="$prefix.boot.log"
    : >"$log"
    for attempt in 1 2; do
      # Wine's processes must not inherit the lock: they outlive the boot.
      if reason=$(boot_prefix "$prefix" "$arch" "$log" "$attempt" 9>&-); then
        touch "$prefix/.setup-ready" && exit 0
      fi
      echo "Booting the $arch prefix $prefix failed (attempt $attempt of 2): $reason" >&2
    done
    { echo "---- last 40 lines of $log"; tail -n 40 "$log"; echo "----"; } >&2
    exit 1
  ) 9>"$prefix.lock"
}

# Waits for the end of a prefix's Wine processes, when the registry files are written. Kills
# them when they do not end within $2 seconds.
wait_prefix_server() {
  local prefix="$1" seconds="$2"
  WINEPREFIX="$prefix" timeout "$seconds" wineserver -w && return 0
  WINEPREFIX="$prefix" wineserver -k 2>/dev/null
  WINEPREFIX="$prefix" timeout 30 wineserver -w
  return 1
}

# One first boot of a new prefix: $1 prefix, $2 architecture, $3 the log the boot's output goes
# to, $4 the attempt. Prints why it failed. Every step is checked here: callers run it where
# `set -e` does not apply.
boot_prefix() {
  local prefix="$1" arch="$2" log="$3" attempt="$4" rc=0 link bootarch="$2"
  # Fault injection for the tests: the first SETUP_TEST_BOOT_FAULTS attempts ask Wine for an
  # architecture it refuses.
  if [ "$attempt" -le "${SETUP_TEST_BOOT_FAULTS:-0}" ]; then bootarch=win16; fi
  # What an earlier attempt left: its processes (of this prefix only) and its files.
  if [ -d "$prefix" ]; then
    wait_prefix_server "$prefix" 5 >>"$log" 2>&1
    rm -rf "$prefix" || { echo "could not remove the earlier attempt's $prefix"; return 1; }
  fi
  echo "== attempt $attempt, $(date +%T): $SETUP_WINE wineboot -i, WINEARCH=$bootarch" >>"$log"
  WINEPREFIX="$prefix" WINEARCH="$bootarch" WINEDEBUG=-all \
    WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" \
    timeout -k 10 1200 "$SETUP_WINE" wineboot -i >>"$log" 2>&1 || rc=$?
  # The boot's services go on after wineboot returns; the registry is written when they end.
  wait_prefix_server "$prefix" 600 >>"$log" 2>&1 || { echo "its Wine processes did not end within 10 minutes"; return 1; }
  if [ "$rc" = 124 ]; then echo "wineboot did not finish within 20 minutes"; return 1; fi
  if [ "$rc" != 0 ]; then echo "wineboot exited with $rc (its output: $log)"; return 1; fi
  grep -q '^\[Software\\\\Microsoft\\\\Windows NT\\\\CurrentVersion\]' "$prefix/system.reg" 2>/dev/null \
    || { echo "wineboot exited 0 but left no booted registry in $prefix/system.reg"; return 1; }
  [ -f "$prefix/drive_c/windows/system32/kernel32.dll" ] \
    || { echo "wineboot exited 0 but left no drive_c/windows/system32"; return 1; }
  if [ "$arch" = win64 ] && ! can_run_32bit; then
    # The 32-bit half of the first boot cannot run here: create the keys it would have (the
    # Run and Uninstall keys of the 32-bit registry view).
    printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run]\n\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\n' \
      > "$prefix/drive_c/wow64-keys.reg" || return 1
    rc=0
    WINEPREFIX="$prefix" WINEDEBUG=-all "$SETUP_WINE" regedit /s 'C:\wow64-keys.reg' >>"$log" 2>&1 || rc=$?
    rm -f "$prefix/drive_c/wow64-keys.reg"
    wait_prefix_server "$prefix" 120 >>"$log" 2>&1 || { echo "regedit's Wine processes did not end"; return 1; }
    [ "$rc" = 0 ] || { echo "regedit of the 32-bit view's keys exited with $rc"; return 1; }
    grep -q '^\[Software\\\\Wow6432Node\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\Uninstall\]' "$prefix/system.reg" \
      || { echo "the 32-bit view's keys are not in $prefix/system.reg"; return 1; }
  fi
  # The user's shell folders link to the Linux home folder: make them the prefix's own,
  # so that shortcuts stay inside the prefix and prefixes do not share a desktop.
  for link in "$prefix"/drive_c/users/*/*; do
    if [ -L "$link" ]; then
      rm -f "$link" && mkdir -p "$link" || { echo "could not make $link a folder of its own"; return 1; }
    fi
  done
}
