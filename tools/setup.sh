#!/usr/bin/env bash
# Sets a Debian 12 machine up for Dorvane and then either starts the program
# ("run") or builds and runs every test ("test"). Run it as root from the
# repository; it installs only the packages that are missing.
set -euo pipefail

mode=${1:-}
case "$mode" in
  run|test) ;;
  *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

repo=$(cd "$(dirname "$0")/.." && pwd)
cd "$repo"

packages=(build-essential cmake ninja-build pkg-config git qt6-base-dev libcdio-dev libcue-dev
          libsndfile1-dev libmp3lame-dev libflac-dev libdiscid-dev zlib1g-dev libcurl4-openssl-dev
          libtag1-dev libgtest-dev googletest mold
          fonts-dejavu-core fonts-liberation2 fonts-comic-neue)
# The tests compare with the command-line encoder and decoder and check the
# desktop entry and the AppStream metainfo.
# dorvane-rip's tests read tags back with TagLib and render its manual page.
# TOC files are compared with cdrdao's own reading of them, checksums and
# disc ids with independent tools, and the sources' format with clang-format.
[ "$mode" = test ] && packages+=(xauth xvfb lame flac desktop-file-utils appstream groff-base
                                 cdrdao whipper python3-libdiscid python3-yaml clang-format)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

jobs=$(nproc)
# A few tests spend seconds waiting on a server that never answers, so the
# tests run two per core.
test_jobs=$((2 * jobs))

if [ "$mode" = run ]; then
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release -DDORVANE_BUILD_TESTS=OFF >/dev/null
  cmake --build build -j "$jobs" --target dorvane makedisc
  # Without a CD drive, the program starts on a demo disc made once.
  if [ -z "${DORVANE_DISC_IMAGES:-}" ] && ! ls /dev/sr[0-9]* >/dev/null 2>&1; then
    [ -f build/demo/demo.cue ] || { mkdir -p build/demo && build/bin/makedisc --demo build/demo >/dev/null; }
    export DORVANE_DISC_IMAGES="$repo/build/demo/demo.cue"
    # The first start opens the demo drive instead of asking for a drive.
    [ -f build/bin/Dorvane.ini ] || printf '[Settings]\nDrive=IMAGE demo.cue\n' > build/bin/Dorvane.ini
  fi
  exec build/bin/dorvane
fi

# Tests: a plain build, then the same suite under AddressSanitizer and
# UndefinedBehaviorSanitizer, then the tests of code that runs threads (the
# extraction engine, the encoder module, the command line) under
# ThreadSanitizer.
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions="$repo/tests/lsan.supp"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
threaded='^test_(ripEngine|ripMp3|dorvaneRip|ripVerify)$'
status=0
echo "== formatting"
if ! git ls-files -z -- '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror; then
  echo "These files differ from .clang-format: run clang-format -i on them." >&2
  status=1
fi
for variant in plain asan tsan; do
  dir=build-tests-$variant
  options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo)
  # Line tables are all a sanitizer's report needs, and full debug info
  # costs the build a quarter of its time; the optimised build needs none.
  # The benchmarks are built where they run (README, Performance), not here.
  case $variant in
    plain) options=(-DCMAKE_BUILD_TYPE=Release) ;;
    asan) options=(-DCMAKE_BUILD_TYPE=Debug "-DCMAKE_CXX_FLAGS_DEBUG=-g1" -DDORVANE_SANITIZE=ON) ;;
    tsan) options+=("-DCMAKE_CXX_FLAGS_RELWITHDEBINFO=-O2 -g1 -DNDEBUG" -DDORVANE_SANITIZE_THREAD=ON) ;;
  esac
  echo "== $variant build"
  cmake -S . -B "$dir" -G Ninja "${options[@]}" -DDORVANE_BUILD_BENCH=OFF >/dev/null
  if [ $variant = tsan ]; then
    cmake --build "$dir" -j "$jobs" --target test_ripEngine test_ripMp3 test_dorvaneRip test_ripVerify dorvane-rip \
      lame_enc
    (cd "$dir" && ctest --output-on-failure -j "$test_jobs" -R "$threaded") || status=1
  else
    cmake --build "$dir" -j "$jobs"
    (cd "$dir" && ctest --output-on-failure -j "$test_jobs") || status=1
  fi
done
exit $status
