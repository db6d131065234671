# Sourced by scripts/run and scripts/test: installs the Debian packages the build, the program and
# the tests need when any is missing, then configures and builds into build/ (or $BUILD_DIR).
set -euo pipefail
top=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

packages=(cmake ninja-build g++ pkg-config qt6-base-dev libjpeg-dev zlib1g-dev libgtest-dev libbenchmark-dev libssl-dev libpng-dev libgif-dev libtiff-dev libwebp-dev libarchive-dev 7zip
          libfontconfig-dev fonts-noto-cjk qt6-translations-l10n shared-mime-info desktop-file-utils xvfb xauth x11-utils xdotool imagemagick)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -q
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

build=${BUILD_DIR:-$top/build}
if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$top" -B "$build" -G Ninja ${CMAKE_ARGS:-}
fi
cmake --build "$build"
