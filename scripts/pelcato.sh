#!/usr/bin/env bash
# Installs what is missing (Debian 12, as root), builds, and then starts Pelcato ("run"),
# runs every test ("test"), only builds ("build"), or builds the Debian package ("package").
#   bash scripts/pelcato.sh run     # build and start the program
#   bash scripts/pelcato.sh test    # build and run every test, then build and check the package
#   bash scripts/pelcato.sh package # build dist/pelcato_VERSION_ARCH.deb and check it
set -euo pipefail
cd "$(dirname "$0")/.."

what=${1:-run}
shift || true

packages=(build-essential cmake pkg-config clang clang-format libgtest-dev libgmock-dev
  libbenchmark-dev qt6-base-dev qt6-multimedia-dev qt6-svg-dev libgl-dev libxcb1-dev
  libmpg123-dev libcue-dev libsimpleini-dev libicu-dev lame ffmpeg mp3splt hyperfine sox xvfb xauth
  python3-mutagen pulseaudio pulseaudio-utils xdotool qt6-translations-l10n)
# The Debian package: its build (dpkg-shlibdeps, dpkg-buildflags) and its checks.
packages+=(dpkg-dev file desktop-file-utils appstream lintian)
# TagLib reads, changes and renders the ID3v2 tags the pieces keep.
packages+=(libtag1-dev)
# libebur128 measures loudness; mp3gain is the tests' reference for the global gain.
packages+=(libebur128-dev mp3gain)

# exFAT through FUSE: a file system without O_TMPFILE for the interruption tests.
packages+=(exfat-fuse exfatprogs)

# Only real package names: a name that another package merely provides is never reported
# installed and would send every run to the package server. When everything is installed, no
# package tool runs at all.
install_missing() {
  local missing=() status
  status=$(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${packages[@]}" 2>/dev/null || true)
  for p in "${packages[@]}"; do
    grep -qE "^$p(:[a-z0-9]+)? ii" <<<"$status" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

build() {
  local dir=$1
  shift
  cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j"$(nproc)"
}

install_missing
case "$what" in
  build)
    build build "$@"
    ;;
  run)
    build build
    if [ -x build/src/app/pelcato ]; then
      exec build/src/app/pelcato "$@"
    else
      exec build/src/cli/pelcato-cli --help
    fi
    ;;
  test)
    export XDG_RUNTIME_DIR=${XDG_RUNTIME_DIR:-$(mktemp -d)}
    chmod 700 "$XDG_RUNTIME_DIR"
    # A private PulseAudio server with a null sink for the tests that play real sound; they
    # record its monitor with parec.
    source scripts/null-sink.sh
    pulse_dir=$(mktemp -d)
    start_null_sink "$pulse_dir"
    trap 'kill "$null_sink_pid" 2>/dev/null; wait "$null_sink_pid" 2>/dev/null; rm -rf "$pulse_dir"' EXIT
    # The fuzz targets with clang, libFuzzer and the sanitizers: replay every corpus, then
    # fuzz each target afresh for a little while.
    CC=clang CXX=clang++ build build-fuzz -DPELCATO_FUZZ=ON -DPELCATO_GUI=OFF \
      -DPELCATO_TESTS=OFF -DPELCATO_BENCH=OFF
    bash fuzz/run.sh build-fuzz/fuzz "${PELCATO_FUZZ_SECONDS:-30}"
    # The whole test suite under AddressSanitizer and UndefinedBehaviorSanitizer.
    build build-sanitize -DPELCATO_SANITIZE=ON -DPELCATO_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug
    (cd build-sanitize && ASAN_OPTIONS=detect_leaks=0 ctest --output-on-failure -j"$(nproc)")
    # And the normal build last, whose summary closes the run.
    build build
    tests_log=$(mktemp)
    (cd build && ctest --output-on-failure -j"$(nproc)") | tee "$tests_log"
    # The package is built and checked once every test has passed; the tests' summary is
    # repeated after it so that it still closes the run.
    bash scripts/package.sh
    echo
    sed -n '/tests passed, /,$p' "$tests_log"
    rm -f "$tests_log"
    ;;
  package)
    bash scripts/package.sh
    ;;
  *)
    echo "usage: $0 [run|test|build|package]" >&2
    exit 2
    ;;
esac
