#!/usr/bin/env bash
# Installs what is missing, configures and builds with the sanitizers, and runs the whole suite
# on a private session bus.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
bash scripts/check-format.sh
cmake --preset debug >/dev/null
cmake --build --preset debug -j"$(nproc)"
exec dbus-run-session -- ctest --preset debug -j"$(nproc)" "$@"
