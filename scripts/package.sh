#!/usr/bin/env bash
# Builds the Debian package dist/pelcato_VERSION_ARCH.deb from a Release build of the shipped
# programs (Debian's hardening flags, prefix /usr) and checks it: the file name, its files, the
# desktop entry and metainfo with their validators, the libraries dpkg-shlibdeps found, and
# lintian. Any failed check ends the script with status 1.
#   bash scripts/package.sh
set -euo pipefail
cd "$(dirname "$0")/.."

top=$PWD
dir=build-package
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DPELCATO_GUI=ON -DPELCATO_TESTS=OFF -DPELCATO_BENCH=OFF -DPELCATO_FUZZ=OFF \
  -DPELCATO_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="$(dpkg-buildflags --get CXXFLAGS) $(dpkg-buildflags --get CPPFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(dpkg-buildflags --get LDFLAGS)" >/dev/null
cmake --build "$dir" -j"$(nproc)"
rm -f dist/pelcato_*.deb
(cd "$dir" && cpack -G DEB -D CPACK_OUTPUT_FILE_PREFIX="$top/dist" >/dev/null)

failed=0
fail() {
  echo "FAILED: $*" >&2
  failed=1
}

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")
deb=dist/pelcato_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || { ls dist >&2; echo "FAILED: no $deb" >&2; exit 1; }
echo "== $deb"
dpkg-deb --field "$deb"

echo "== Files"
files=$(dpkg-deb --contents "$deb" | awk '{print $6}' | sed 's|^\./|/|')
echo "$files"
# Everything lies in the programs' and the data folders; nothing of the build or the tests.
stray=$(grep -vE '^/usr/((bin|share)/.*)?$' <<<"$files" || true)
[ -z "$stray" ] || fail "files outside /usr/bin and /usr/share: $stray"
ls_bin=$(grep -E '^/usr/bin/.' <<<"$files" || true)
[ "$ls_bin" = $'/usr/bin/pelcato\n/usr/bin/pelcato-cli' ] || fail "programs: $ls_bin"

unpacked=$(mktemp -d)
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb --extract "$deb" "$unpacked"
usr=$unpacked/usr
for language in English Spanish German Italian French; do
  [ -f "$usr/share/pelcato/Languages/$language.isl" ] || fail "no $language.isl"
done
[ -f "$usr/share/man/man1/pelcato-cli.1.gz" ] || fail "no manual page of pelcato-cli"
[ -f "$usr/share/doc/pelcato/copyright" ] || fail "no copyright file"

echo "== Desktop entry and metainfo"
metainfo=$(find "$usr/share/metainfo" -name '*.metainfo.xml' 2>/dev/null || true)
if [ "$(wc -w <<<"$metainfo")" -ne 1 ]; then
  fail "not one metainfo file: $metainfo"
else
  id=$(sed -n 's|.*<id>\(.*\)</id>.*|\1|p' "$metainfo")
  [ "$(basename "$metainfo")" = "$id.metainfo.xml" ] || fail "metainfo file name against id $id"
  desktop=$usr/share/applications/$id.desktop
  if [ ! -f "$desktop" ]; then
    fail "no desktop entry named after the metainfo's id $id"
  else
    grep -q "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" ||
      fail "the metainfo does not launch $id.desktop"
    grep -q "<release version=\"$version\"" "$metainfo" || fail "no release $version in the metainfo"
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    [ -x "$usr/bin/$program" ] || fail "the desktop entry starts $program, which is not in the package"
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    [ -f "$usr/share/icons/hicolor/scalable/apps/$icon.svg" ] ||
      fail "no scalable icon $icon in the hicolor theme"
  fi
  appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
fi

echo "== Dependencies found by dpkg-shlibdeps"
depends=$(dpkg-deb --field "$deb" Depends)
echo "$depends"
names=$(sed 's/ *([^)]*)//g; s/ *| */\n/g; s/, */\n/g' <<<"$depends")
# Qt 6 base, multimedia and SVG, the decoder, the cue sheet reader, TagLib (whose shared
# library Debian ships as libtag1v5-vanilla, named by libtag1v5) and the loudness meter.
for library in libqt6core6 libqt6gui6 libqt6widgets6 libqt6multimedia6 libqt6svg6 libmpg123-0 \
  libcue2 libtag1v5 libebur128-1; do
  grep -qxE "${library}t?(64)?(-vanilla)?" <<<"$names" || fail "no dependency on $library"
done
# Nor a compiler, a -dev package or a test framework.
bad=$(grep -E -- '-dev$|^(gcc|g\+\+|clang|cmake)|gtest|gmock|benchmark|libqt6test' <<<"$names" || true)
[ -z "$bad" ] || fail "build or test packages among the dependencies: $bad"

echo "== lintian"
tags=$(lintian --fail-on error,warning --display-info "$deb" 2>&1) || fail "lintian"
grep -v '^running with root privileges' <<<"$tags" || true

if ((failed)); then
  echo "The package $deb failed its checks." >&2
  exit 1
fi
echo "The package $deb passed its checks."
