# Installs what the build and the tests need on Debian 12, when it is missing. Needs root.
# Uses `quietly` (cmake/steps.sh): the package tools' output is shown when they fail.
install_deps() {
  local need=0
  for cmd in i686-w64-mingw32-g++-posix x86_64-w64-mingw32-g++-posix i686-w64-mingw32-windres wine Xvfb xdotool import cmake python3 \
             osslsigncode openssl git; do
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
  echo "Installing the missing build and test tools (about a minute)"
  quietly dpkg-arch dpkg --add-architecture i386 || return
  quietly apt-update apt-get update -qq || return
  quietly apt-install apt-get install -y -qq --no-install-recommends \
    wine wine32 wine64 libwine libwine:i386 fonts-wine \
    g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 \
    xvfb xauth xdotool imagemagick googletest cmake make python3 osslsigncode openssl git \
    fonts-wqy-microhei locales || return
  ensure_i386_runs
  # Locales the language tests switch between.
  for l in en_US de_DE es_ES fr_FR ja_JP ko_KR zh_CN zh_TW; do
    sed -i "s/^# *\(${l}.UTF-8 UTF-8\)/\1/" /etc/locale.gen || return
  done
  quietly locale-gen locale-gen
}

# qemu's user-mode emulation registered for i386 programs does not carry Wine's 32-bit
# loader (it fails to map Windows' shared user data); where it is registered, the 32-bit
# loader is taken out of the way so that Wine's 64-bit side works at full speed.
ensure_i386_runs() {
  if [ -e /proc/sys/fs/binfmt_misc/qemu-i386 ] && [ "$(id -u)" = 0 ]; then
    echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386 || true
  fi
  return 0
}
