#!/usr/bin/env bash
# Fast edit-compile loop without pip: builds the two modules into build/dev-NAME
# and stages an importable tree (the framework stand-in, our private package and
# the modules) in /tmp/nelvor-stage-NAME. Prints the PYTHONPATH to use. Runs with
# the virtualenv's Python (see common.sh), into which scripts/setup.sh puts nanobind.
source "$(dirname "$0")/common.sh"
name=${1:-default}
build="$PWD/build/dev-$name"
stage="/tmp/nelvor-stage-$name"
bash scripts/setup.sh --tools-only >&2
extra=()
[ "${NELVOR_SANITIZE:-OFF}" = "ON" ] && extra+=(-DNELVOR_SANITIZE=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo)
# Configured again when the build was set up for another interpreter.
if [ ! -f "$build/build.ninja" ] || ! grep -qxF "Python_EXECUTABLE:FILEPATH=$PYTHON" "$build/CMakeCache.txt"; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPython_EXECUTABLE="$PYTHON" "${extra[@]}" >/dev/null
fi
cmake --build "$build" >&2
rm -rf "$stage" && mkdir -p "$stage"
cp -r python/nelvor_utils python/nelvor_data src/python/. "$stage/"
cp "$build"/ledger_store*.so "$build"/current_store*.so "$stage/nelvor_data/connections/implementations/"
cp "$build"/*.pyi "$stage/nelvor_data/connections/implementations/" 2>/dev/null || true  # none under the sanitizers
echo "$stage"
