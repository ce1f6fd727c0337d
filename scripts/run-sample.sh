#!/usr/bin/env bash
# Builds the host tree and lists the devices of product 4B31 in the sample registry.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build/host -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/host --target korvane
build/host/cli/korvane --reg samples/sample.reg "${1:-4B31}"
