#!/usr/bin/env bash
# Fast edit-compile loop without pip: builds the two modules into build/dev-NAME
# and stages an importable tree (pure-Python packages plus the modules) in
# /tmp/nelvor-stage-NAME. Prints the PYTHONPATH to use.
set -euo pipefail
name=${1:-default}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build/dev-$name"
stage="/tmp/nelvor-stage-$name"
extra=()
[ "${NELVOR_SANITIZE:-OFF}" = "ON" ] && extra+=(-DNELVOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
if [ ! -f "$build/build.ninja" ]; then
  cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "${extra[@]}" >/dev/null
fi
cmake --build "$build" >&2
rm -rf "$stage" && mkdir -p "$stage"
cp -r "$root/python/." "$root/src/python/." "$stage/"
cp "$build"/ledger_store*.so "$build"/current_store*.so "$stage/nelvor_data/connections/implementations/"
echo "$stage"
