# Shared by scripts/run and scripts/test: installs what is missing, builds.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE="/usr/lib/wine/wine64"

# Debian packages the build and the tests use.
PACKAGES=(cmake make g++ googletest libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 xvfb xdotool x11-utils python3
  clang clang-format clang-tidy cppcheck libclang-rt-14-dev zip)
# What scripts/screenshots needs beyond that: ImageMagick, the Japanese UI
# font, and Wine's own fonts, without which the caption buttons do not draw
# (apt's --no-install-recommends would skip them).
SCREENSHOT_PACKAGES=(imagemagick fonts-ipafont-gothic fonts-wine)

ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    local sudo=()
    [[ $(id -u) -eq 0 ]] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null
  fi
}

build_preset() {
  local preset="$1"
  shift
  cmake --preset "$preset" -DYORISEN_WERROR=ON "$@" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
}
