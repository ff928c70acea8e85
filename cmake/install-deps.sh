# Installs what the build and the tests need on Debian 12, when it is missing. Needs root.
install_deps() {
  local need=0
  for cmd in i686-w64-mingw32-g++-posix i686-w64-mingw32-windres wine Xvfb xdotool import cmake python3; do
    command -v "$cmd" >/dev/null 2>&1 || need=1
  done
  [ -d /usr/src/googletest ] || need=1
  [ -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ] || need=1
  dpkg -s wine32:i386 >/dev/null 2>&1 || need=1
  locale -a 2>/dev/null | grep -qi '^de_DE.utf8$' || need=1
  if [ "$need" = 0 ]; then
    ensure_i386_runs
    return 0
  fi

  if [ "$(id -u)" != 0 ]; then
    echo "Missing build tools; run this script as root once to install them." >&2
    return 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  dpkg --add-architecture i386
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends \
    wine wine32 wine64 libwine libwine:i386 fonts-wine \
    g++-mingw-w64-i686 mingw-w64-tools binutils-mingw-w64-i686 \
    xvfb xauth xdotool imagemagick googletest cmake make python3 \
    fonts-wqy-microhei locales >/dev/null
  ensure_i386_runs
  # Locales the language tests switch between.
  for l in en_US de_DE es_ES fr_FR ja_JP ko_KR zh_CN zh_TW; do
    sed -i "s/^# *\(${l}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  done
  locale-gen >/dev/null
}

# Wine runs our 32-bit programs through its 32-bit loader, an i386 Linux program. Some
# virtual machines cannot execute 32-bit code: there the loader runs under qemu's user-mode
# emulation, registered for i386 programs.
ensure_i386_runs() {
  /usr/lib/wine/wine --version >/dev/null 2>&1 && return 0
  if [ "$(id -u)" != 0 ]; then
    echo "This machine cannot run 32-bit programs; run this script as root once." >&2
    return 1
  fi
  command -v qemu-i386-static >/dev/null 2>&1 ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends qemu-user-static >/dev/null
  if [ ! -e /proc/sys/fs/binfmt_misc/register ]; then
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null || true
  fi
  if [ ! -e /proc/sys/fs/binfmt_misc/qemu-i386 ]; then
    printf '%s' ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      > /proc/sys/fs/binfmt_misc/register
  fi
  /usr/lib/wine/wine --version >/dev/null 2>&1
}
