#!/usr/bin/env bash
# Builds, shows and tests Zettelblick on Debian 12. Run as root (it installs
# what is missing with apt-get) or as a user when everything is installed.
#
#   ./project.sh show   install what is missing, build the Linux program and
#                       show the default notification
#   ./project.sh test   install what is missing, build the Linux and the
#                       Windows programs (32- and 64-bit) and the Debian
#                       package, and run every test
#   ./project.sh bench  install what is missing, build both programs and the
#                       benchmark's own (bench/), and run the benchmark
#                       (arguments go to bench/bench.py, e.g. --rounds 5)
set -euo pipefail
cd "$(dirname "$0")"
ROOT=$PWD
BUILD=$ROOT/build
BUILD_WIN32=$ROOT/build-win32
BUILD_WIN64=$ROOT/build-win64
BENCH=$ROOT/build-bench
JOBS=$(nproc 2>/dev/null || echo 2)

# What the Linux build and its tests need: the X server's idle time
# (xcb-screensaver) and GSettings' header (GIO, loaded at run time) among
# the build's; dunst, whose pause a test sets, and GNOME's notification
# settings (their schema and gsettings) among the tests'.
LINUX_PACKAGES=(
    cmake make g++ pkg-config libgtest-dev libgmock-dev
    qt6-base-dev libgl-dev libcanberra-dev libcanberra-pulse sound-theme-freedesktop
    libxcb-screensaver0-dev libglib2.0-dev
    fonts-liberation fontconfig locales python3
    xvfb openbox xdotool x11-utils imagemagick
    pulseaudio pulseaudio-utils
    icewm fluxbox xfwm4 wmctrl xterm x11-xserver-utils dbus-daemon at-spi2-core python3-pyatspi
    dunst gsettings-desktop-schemas libglib2.0-bin
)
# The test command's own: the message bus a desktop starts on demand (runs
# without a session must start none), the package's dependencies
# (dpkg-shlibdeps), the manual page's rendering and the package's check
# against Debian policy (lintian).
PACKAGING_PACKAGES=(dbus-x11 dpkg-dev man-db lintian)
# The fuzz targets and the sanitizer builds.
CHECK_PACKAGES=(clang libclang-rt-14-dev)
# What the Windows builds and their tests under Wine need: the 32-bit build
# (i386 packages) runs under wine32, the 64-bit one under wine64 where the
# host runs no 32-bit code; wixl builds each build's Windows Installer
# package, msitools' msiinfo reads it back.
WINDOWS_PACKAGES=(
    g++-mingw-w64-i686 gcc-mingw-w64-i686 mingw-w64-i686-dev
    g++-mingw-w64-x86-64 gcc-mingw-w64-x86-64 mingw-w64-x86-64-dev
    wine wine32 wine64 wixl msitools
)
# The benchmark's timer (xcb) and xmessage.
BENCH_PACKAGES=(libxcb1-dev x11-utils)

say() { printf '\n== %s\n' "$*"; }

missing_packages() {
    local p
    for p in "$@"; do
        dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
    done
}

install_packages() {
    local missing
    missing=$(missing_packages "$@")
    [ -z "$missing" ] && return 0
    if [ "$(id -u)" != 0 ]; then
        echo "Missing packages (run as root to install them): $missing" >&2
        exit 1
    fi
    say "Installing: $missing"
    apt-get update -qq
    # shellcheck disable=SC2086
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing >/dev/null
}

install_linux() {
    install_packages "${LINUX_PACKAGES[@]}"
    # The message-text tests read German date and time formats.
    if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
        if [ "$(id -u)" = 0 ]; then
            sed -i 's/^# *\(de_DE.UTF-8 UTF-8\)/\1/' /etc/locale.gen
            grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' >>/etc/locale.gen
            locale-gen >/dev/null
        fi
    fi
}

install_windows() {
    if ! dpkg --print-foreign-architectures | grep -qx i386; then
        [ "$(id -u)" = 0 ] || { echo "run as root to add the i386 architecture" >&2; exit 1; }
        dpkg --add-architecture i386
        apt-get update -qq
    fi
    install_packages "${WINDOWS_PACKAGES[@]}"
}

build_linux() {
    say "Building the Linux program in $BUILD"
    cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
    cmake --build "$BUILD" -j"$JOBS"
}

# build_windows DIR TRIPLET: the Windows program with the MinGW toolchain of
# cmake/TRIPLET.cmake.
build_windows() {
    say "Building the Windows program in $1"
    cmake -S "$ROOT" -B "$1" -DCMAKE_BUILD_TYPE=Release -DZB_BACKEND=win32 \
        -DZB_BUILD_TESTS=OFF -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$2.cmake" >/dev/null
    cmake --build "$1" -j"$JOBS"
}

show() {
    install_linux
    build_linux
    if [ -n "${DISPLAY:-}" ]; then
        say "Showing the notification (click it to close)"
        exec "$BUILD/app/zettelblick"
    fi
    # No desktop: show it on a private virtual screen and keep a screenshot.
    say "No DISPLAY: showing the notification on a virtual screen"
    python3 "$ROOT/tools/screenshot.py" --app "$BUILD/app" --out "$BUILD/notification.png"
    echo "Screenshot of the notification: $BUILD/notification.png"
}

# The unit tests and the Linux integration tests again, built with
# AddressSanitizer and UndefinedBehaviorSanitizer.
sanitizer_tests() {
    say "Sanitizer build in $BUILD-asan"
    cmake -S "$ROOT" -B "$BUILD-asan" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZB_SANITIZE=ON >/dev/null
    cmake --build "$BUILD-asan" -j"$JOBS"
    say "Running the tests under the sanitizers"
    # Qt and the X libraries keep some allocations for the life of the
    # process; leak reports would only be about them.
    # Sanitized code runs several times slower: the tests' hang detectors wait
    # longer.
    (cd "$BUILD-asan" && ZB_TIMEOUT_SCALE=4 ASAN_OPTIONS=detect_leaks=0:abort_on_error=1 \
        UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        ctest --output-on-failure --timeout 900 -E '^(profile_diff|wine_)')
}

# Each fuzz target for a short while (FUZZ_SECONDS, 20 by default).
fuzz_smoke() {
    say "Fuzzing (${FUZZ_SECONDS:-20} s per target)"
    CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD-fuzz" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DZB_BACKEND=none -DZB_SANITIZE=ON -DZB_FUZZ=ON -DZB_BUILD_TESTS=OFF >/dev/null
    cmake --build "$BUILD-fuzz" -j"$JOBS"
    "$ROOT/tests/fuzz/run_fuzz.sh" "$BUILD-fuzz" "${FUZZ_SECONDS:-20}"
}

# The Debian package: built from the Linux build, checked by lintian (no
# error, no warning), installed, a notification shown by an ordinary user,
# removed. Installing needs root; a developer's run as another user builds
# and checks the package and says that it skipped the rest.
package_test() {
    say "Building the Debian package"
    (cd "$BUILD" && cpack -G DEB >/dev/null)
    local deb
    deb=$(ls "$BUILD"/dist/zettelblick_*.deb)
    echo "$deb"
    say "Checking the package against Debian policy (lintian)"
    lintian --fail-on error,warning "$deb"
    if [ "$(id -u)" != 0 ]; then
        echo "Not root: the package was built, but not installed and tested"
        return 0
    fi
    say "Installing the package, a notification as an ordinary user, removing it"
    ZB_DEB=$deb python3 "$ROOT/tests/integration/test_package.py"
}

run_tests() {
    install_linux
    install_packages "${CHECK_PACKAGES[@]}" "${PACKAGING_PACKAGES[@]}"
    install_windows
    build_windows "$BUILD_WIN32" i686-w64-mingw32
    build_windows "$BUILD_WIN64" x86_64-w64-mingw32
    build_linux -DZB_WIN32_BUILD_DIR="$BUILD_WIN32" -DZB_WIN64_BUILD_DIR="$BUILD_WIN64"
    say "Running the tests"
    # Which Windows build runs under Wine on this host (one line); a host
    # that runs neither is reported here and fails the Wine tests.
    ZB_WIN32_BUILD_DIR=$BUILD_WIN32 ZB_WIN64_BUILD_DIR=$BUILD_WIN64 \
        python3 "$ROOT/tests/integration/wine_env.py" || true
    (cd "$BUILD" && ctest --output-on-failure --timeout 900)
    package_test
    sanitizer_tests
    fuzz_smoke
    say "All tests passed"
}

# A variable of a CMake build's cache.
cache_value() {
    sed -n "s/^$2:[A-Z]*=//p" "$1/CMakeCache.txt"
}

# Start-up time, memory, idle CPU and sound responsiveness against a bare
# Qt window, xmessage and (under Wine) a bare Win32 window. Not a test: it
# prints numbers. It takes about three minutes after the builds.
bench() {
    install_linux
    install_packages "${BENCH_PACKAGES[@]}"
    install_windows
    # The Windows build that this host runs under Wine (see wine_env.py).
    local arch triplet
    arch=$(cd "$ROOT/tests/integration" &&
        python3 -c 'import wine_env; print(wine_env.choose_target()[0].arch)')
    if [ "$arch" = win32 ]; then triplet=i686-w64-mingw32; else triplet=x86_64-w64-mingw32; fi
    local windows_build=$ROOT/build-$arch
    build_windows "$windows_build" "$triplet"
    build_linux
    say "Building the benchmark's programs in $BENCH and $BENCH-$arch"
    cmake -S "$ROOT/bench" -B "$BENCH" \
        -DCMAKE_BUILD_TYPE="$(cache_value "$BUILD" CMAKE_BUILD_TYPE)" >/dev/null
    cmake --build "$BENCH" -j"$JOBS"
    # The bare Win32 window with the Windows program's toolchain and build type.
    cmake -S "$ROOT/bench" -B "$BENCH-$arch" \
        -DCMAKE_BUILD_TYPE="$(cache_value "$windows_build" CMAKE_BUILD_TYPE)" \
        -DCMAKE_TOOLCHAIN_FILE="$(cache_value "$windows_build" CMAKE_TOOLCHAIN_FILE)" >/dev/null
    cmake --build "$BENCH-$arch" -j"$JOBS"
    say "Running the benchmark"
    python3 "$ROOT/bench/bench.py" --app "$BUILD/app" --tools "$BENCH" \
        --wine-exe "$windows_build/app/zettelblick.exe" --wine-bare "$BENCH-$arch/winbare.exe" \
        --work "$BENCH-$arch" "$@"
}

case "${1:-}" in
    show) show ;;
    test) run_tests ;;
    bench) shift; bench "$@" ;;
    *)
        echo "usage: $0 show|test|bench" >&2
        exit 2
        ;;
esac
