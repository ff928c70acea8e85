# Shell helpers shared by test.sh, run.sh, the test wrapper and the scenario tests.

# Wine runs 32-bit Windows programs through its 32-bit loader, an i386 Linux program. Some
# virtual machines cannot execute 32-bit code: there only the 64-bit loader works, and the
# tests run a 64-bit build of the same sources (see CMakeLists.txt).
can_run_32bit() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]
}
if [ -z "${SETUP_WINE:-}" ]; then
  if can_run_32bit; then SETUP_WINE=wine; else SETUP_WINE=/usr/lib/wine/wine64; fi
fi
export SETUP_WINE

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
  (
    flock 9
    if ! xvfb_running; then
      # A server killed without cleaning up leaves its lock and socket behind.
      rm -f /tmp/.X77-lock /tmp/.X11-unix/X77
      setsid nohup Xvfb :77 -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
      for _ in $(seq 100); do xvfb_running && break; sleep 0.1; done
    fi
  ) 9>/tmp/.setup-xvfb.lock
}

# A copy of a booted prefix at $2. Wine only reads its system folders (the DLLs, about 1.2 GB
# of the 1.3 GB), so the copy's are hard links to the original's files: a test prefix then
# costs some 30 MB of disk instead of a gigabyte and more.
clone_prefix() {
  local src="$1" dest="$2" d
  mkdir -p "$dest"
  (cd "$src" && tar --exclude=./drive_c/windows/system32 --exclude=./drive_c/windows/syswow64 \
     --exclude=./drive_c/windows/winsxs -cf - .) | (cd "$dest" && tar -xpf -)
  for d in system32 syswow64 winsxs; do
    if [ -d "$src/drive_c/windows/$d" ]; then cp -al "$src/drive_c/windows/$d" "$dest/drive_c/windows/$d"; fi
  done
}

# A Wine prefix that exists and has finished its first boot. $2 = win32 for a 32-bit
# Windows. With SETUP_TEMPLATE_DIR set, each architecture boots once into a template there
# and every further prefix is a copy of it (a first boot takes minutes under emulation).
ensure_prefix() {
  local prefix="$1" arch="${2:-win64}"
  [ -f "$prefix/.setup-ready" ] && return 0
  mkdir -p "$(dirname "$prefix")"
  if [ -n "${SETUP_TEMPLATE_DIR:-}" ] && [ "$prefix" != "$SETUP_TEMPLATE_DIR/$arch" ]; then
    ensure_prefix "$SETUP_TEMPLATE_DIR/$arch" "$arch"
    (
      flock 9
      if [ ! -f "$prefix/.setup-ready" ]; then
        rm -rf "$prefix"
        clone_prefix "$SETUP_TEMPLATE_DIR/$arch" "$prefix"
      fi
    ) 9>"$prefix.lock"
    return 0
  fi
  (
    flock 9
    if [ ! -f "$prefix/.setup-ready" ]; then
      rm -rf "$prefix"
      WINEPREFIX="$prefix" WINEARCH="$arch" WINEDEBUG=-all \
        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml=" "$SETUP_WINE" wineboot -i >/dev/null 2>&1
      if [ "$arch" = win64 ] && ! can_run_32bit; then
        # The 32-bit half of the first boot cannot run here: create the keys it would have (the
        # Run and Uninstall keys of the 32-bit registry view).
        printf 'REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Run]\n\n[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\n' \
          > "$prefix/drive_c/wow64-keys.reg"
        WINEPREFIX="$prefix" WINEDEBUG=-all "$SETUP_WINE" regedit /s 'C:\wow64-keys.reg' >/dev/null 2>&1
        rm -f "$prefix/drive_c/wow64-keys.reg"
      fi
      WINEPREFIX="$prefix" wineserver -w
      # The user's shell folders link to the Linux home folder: make them the prefix's own,
      # so that shortcuts stay inside the prefix and prefixes do not share a desktop.
      local link
      for link in "$prefix"/drive_c/users/*/*; do
        if [ -L "$link" ]; then rm -f "$link" && mkdir -p "$link"; fi
      done
      touch "$prefix/.setup-ready"
    fi
  ) 9>"$prefix.lock"
}
