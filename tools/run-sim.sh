#!/usr/bin/env bash
# Builds the project and runs the main job: the simulated touch controller
# through the driver. Arguments go to hidi2c-sim (try --help).
set -euo pipefail
cd "$(dirname "$0")/.."
bash tools/bootstrap.sh
cmake -S . -B build/normal -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/normal -j "$(nproc)" --target hidi2c-sim >/dev/null
exec build/normal/Tools/hidi2c-sim/hidi2c-sim "$@"
