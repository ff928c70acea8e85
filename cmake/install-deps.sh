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
  [ "$need" = 0 ] && return 0

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
  # Locales the language tests switch between.
  for l in en_US de_DE es_ES fr_FR ja_JP ko_KR zh_CN zh_TW; do
    sed -i "s/^# *\(${l}.UTF-8 UTF-8\)/\1/" /etc/locale.gen
  done
  locale-gen >/dev/null
}
