#!/usr/bin/env bash
# Builds korvane in the host tree (build/host) and lists the devices of product
# 4B31 in the sample registry. Installs only what that needs: the tests and the
# benchmarks, and GoogleTest with them, stay out of this configuration (the
# host preset, as scripts/test.sh uses it, brings them back).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh demo
cmake --preset host -DKORVANE_BUILD_TESTS=OFF -DKORVANE_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build --preset host --target korvane
build/host/cli/korvane --reg samples/sample.reg "${1:-4B31}"
