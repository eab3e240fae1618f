# Shared by scripts/run and scripts/test: installs what is missing, builds.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
WINE="/usr/lib/wine/wine64"
# Debian's 32-bit loader (wine32:i386): runs the 32-bit exes in the same
# prefixes as wine64, WoW64 style.
WINE32="/usr/lib/wine/wine"

# Debian packages the build and the tests use: the names hold on Debian 12
# and 13 alike (libclang-rt-dev follows the default clang, 14 or 19).
PACKAGES=(cmake make g++ googletest libgtest-dev g++-mingw-w64-i686 g++-mingw-w64-x86-64
  binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine64 xvfb xdotool x11-utils x11-apps python3
  clang clang-format clang-tidy cppcheck libclang-rt-dev zip)
# What scripts/screenshots needs beyond that: ImageMagick, the Japanese UI
# font, and Wine's own fonts, without which the caption buttons do not draw
# (apt's --no-install-recommends would skip them).
SCREENSHOT_PACKAGES=(imagemagick fonts-ipafont-gothic fonts-wine)

# Stops the run with a message.
die() {
  echo "$(basename "$0"): $*" >&2
  exit 1
}

as_root() {
  if [[ $(id -u) -eq 0 ]]; then "$@"; else sudo "$@"; fi
}

ensure_packages() {
  local missing=()
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if ((${#missing[@]})); then
    echo "Installing: ${missing[*]}"
    as_root apt-get update -qq || die "apt-get update failed: cannot install ${missing[*]}"
    as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
      "${missing[@]}" >/dev/null || die "apt-get install ${missing[*]} failed"
  fi
}

# The 32-bit Wine needs Debian's i386 architecture. When the install fails,
# an architecture added here is removed again, leaving apt as it was, and
# it returns 1 with the reason: an archive whose i386 lists do not download
# (a mirror caught mid-sync) cannot give it, whatever this tree holds.
ensure_wine32() {
  dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q "install ok installed" && return
  echo "Installing: wine32:i386"
  local added=0
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    as_root dpkg --add-architecture i386 ||
      die "dpkg --add-architecture i386 failed: cannot install the 32-bit Wine"
    added=1
  fi
  # A list that fails to download leaves the others usable.
  as_root apt-get update -qq || echo "apt-get update failed; installing from the lists it has"
  if ! as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    wine32:i386 >/dev/null; then
    if ((added)); then as_root dpkg --remove-architecture i386 || true; fi
    echo "apt-get could not install wine32:i386 (the 32-bit Wine)" >&2
    return 1
  fi
}

# Succeeds when the 32-bit loader starts; fails when the kernel cannot run
# 32-bit programs at all (no IA-32 emulation); any other failure stops the run.
can_run_32bit() {
  local out
  out="$("$WINE32" --version 2>&1)" && return 0
  grep -q "Exec format error" <<<"$out" && return 1
  die "$WINE32 --version failed: $out"
}

# Seconds since 1970 that the package's files carry: SOURCE_DATE_EPOCH when
# set, else the commit's time, so that one commit gives the same zips. Out
# of git (an unpacked source archive), the newest source file's time, which
# git archive sets to the commit's.
source_date_epoch() {
  local prefix
  if [[ -n "${SOURCE_DATE_EPOCH:-}" ]]; then
    echo "$SOURCE_DATE_EPOCH"
  elif prefix="$(git -C "$ROOT" rev-parse --show-prefix 2>/dev/null)" && [[ -z "$prefix" ]]; then
    git -C "$ROOT" log -1 --format=%ct
  else
    find "$ROOT" \( -path "$ROOT/build" -o -path "$ROOT/dist" \) -prune -o -type f -printf '%T@\n' |
      sort -n | tail -1 | cut -d. -f1
  fi
}

build_preset() {
  local preset="$1"
  shift
  cmake --preset "$preset" -DYORISEN_WERROR=ON "$@" >/dev/null
  cmake --build --preset "$preset" -j "$(nproc)"
}

# Each stage of a run and its time, for the table the run ends with.
STAGE_NAMES=()
STAGE_TIMES=()
STAGE_START=$SECONDS
RUN_START=$SECONDS

# Starts the stage name (the one before ends): prints "== name: what".
stage() {
  stage_done
  STAGE_NAMES+=("$1")
  STAGE_START=$SECONDS
  echo "== $1${2:+: $2}"
}

stage_done() {
  if ((${#STAGE_NAMES[@]} > ${#STAGE_TIMES[@]})); then
    STAGE_TIMES+=($((SECONDS - STAGE_START)))
  fi
}

# The table of the stages run so far, then the whole run's time; on exit
# too, so that a failed run shows where its time went.
stage_table() {
  stage_done
  local i
  echo "== time per stage ($(basename "$0"))"
  for i in "${!STAGE_NAMES[@]}"; do
    printf '%-16s %4d:%02d\n' "${STAGE_NAMES[i]}" $((STAGE_TIMES[i] / 60)) $((STAGE_TIMES[i] % 60))
  done
  local total=$((SECONDS - RUN_START))
  printf '%-16s %4d:%02d\n' "total" $((total / 60)) $((total % 60))
}
