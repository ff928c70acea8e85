#!/bin/bash
# Shows that the build is reproducible: builds the packages of one commit twice, from two
# copies of its sources in folders of different names, and compares the results byte by byte.
#   release/check-reproducible.sh [COMMIT]      (default HEAD; needs the build tools of ./run.sh)
# The first build signs with a test certificate it makes, the second with that same
# certificate and key given as SETUP_SIGN_CERT/SETUP_SIGN_KEY: the unsigned package files must
# be identical, and then so must the signed packages and the archives.
# Exit code 0 when every file is the same, 1 otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
commit=$(git -C "$here" rev-parse "${1:-HEAD}")
work=$(mktemp -d /tmp/vrx58q-reproducible.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Both builds record the commit's time (signing time, archive member times).
export SOURCE_DATE_EPOCH=$(git -C "$here" log -1 --format=%ct "$commit")

build() {  # build TREE [cmake arguments...]
  local tree="$work/$1"
  shift
  mkdir -p "$tree/src"
  git -C "$here" archive "$commit" | tar -x -C "$tree/src"
  cmake -S "$tree/src" -B "$tree/build" -DCMAKE_TOOLCHAIN_FILE="$tree/src/cmake/mingw-i686.cmake" \
        -DCMAKE_BUILD_TYPE=Release "$@" >"$tree/configure.log" 2>&1 || { cat "$tree/configure.log"; return 1; }
  nice cmake --build "$tree/build" -j2 --target setup_archive >"$tree/build.log" 2>&1 || { tail -40 "$tree/build.log"; return 1; }
}

echo "commit $commit, SOURCE_DATE_EPOCH=$SOURCE_DATE_EPOCH"
echo "building in $work/a and $work/second-tree ..."
build a
build second-tree -DSETUP_SIGN_CERT="$work/a/build/signing/test-signing.pem" \
                  -DSETUP_SIGN_KEY="$work/a/build/signing/test-signing.key"

a="$work/a/build"
b="$work/second-tree/build"
differ=0
compare() {  # compare FOLDER-OR-FILE relative to both builds
  local rel="$1" f
  while IFS= read -r f; do
    if cmp -s "$a/$f" "$b/$f"; then
      printf 'same    %9d  %s  %s\n' "$(stat -c %s "$a/$f")" "$(sha256sum "$a/$f" | cut -c1-16)" "$f"
    else
      printf 'DIFFER  %9s  %-16s  %s\n' "$(stat -c %s "$b/$f" 2>/dev/null || echo missing)" "" "$f"
      differ=1
    fi
  done < <(cd "$a" && find "$rel" -type f | LC_ALL=C sort)
  # Files only the second build has.
  while IFS= read -r f; do
    [ -e "$a/$f" ] || { printf 'DIFFER  %9s  %-16s  %s (second build only)\n' "" "" "$f"; differ=1; }
  done < <(cd "$b" && find "$rel" -type f | LC_ALL=C sort)
}

echo "-- unsigned package files"
compare package-unsigned
compare art/Lorvane.bmp
compare art/title_about.bmp
echo "-- signed packages (same certificate and key)"
compare package
compare package-turbovolume
echo "-- archives"
for z in "$a"/*.zip; do compare "$(basename "$z")"; done

if [ "$differ" = 0 ]; then
  echo "reproducible: both builds gave the same bytes"
else
  echo "NOT reproducible: the files marked DIFFER differ"
fi
exit "$differ"
