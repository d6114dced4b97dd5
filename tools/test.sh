#!/usr/bin/env bash
# Builds and runs every test.
#   tools/test.sh          the normal configuration
#   tools/test.sh --all    also the x86 (-m32) and the address/undefined-sanitizer configurations,
#                          and the fuzz targets (clang, libFuzzer), each run for a short fixed time
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh

all=0
[ "${1:-}" = "--all" ] && all=1
jobs=$(nproc)

run_config() { # name, cmake options...
  local dir=build/$1; shift
  echo "=== configuration ${dir#build/}"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >/dev/null
  cmake --build "$dir" -j "$jobs"
  ctest --test-dir "$dir" --output-on-failure -j "$jobs"
}

run_config normal
if [ $all = 1 ]; then
  run_config x86 -DHIDI2C_X86=ON -DHIDI2C_WINE_TESTS=OFF
  run_config sanitize -DHIDI2C_SANITIZE=ON -DHIDI2C_WINE_TESTS=OFF
  CC=clang CXX=clang++ run_config fuzz -DHIDI2C_FUZZ=ON
  # The thread sanitizer watches the free-running stress tests.
  dir=build/tsan
  echo "=== configuration tsan"
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DHIDI2C_TSAN=ON -DHIDI2C_WINE_TESTS=OFF >/dev/null
  cmake --build "$dir" -j "$jobs" --target stress_tests
  TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" "$dir/tests/stress_tests"
fi
