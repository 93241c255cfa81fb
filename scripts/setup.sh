#!/usr/bin/env bash
# Installs what building and testing need, then builds the project's wheel and
# installs it with the framework stand-in into the virtualenv (see common.sh).
# Safe to run again: apt only runs when a package is missing, and the build and
# the installs are skipped while the sources and the interpreter are unchanged.
#   bash scripts/setup.sh               everything
#   bash scripts/setup.sh --tools-only  all but the project itself (for scripts/dev_build.sh)
source "$(dirname "$0")/common.sh"

system_packages=(g++ cmake ninja-build rapidjson-dev libpq-dev pgbouncer openssl)
missing=()
for package in "${system_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
# The server: any installed major will do, else the one the distribution offers.
compgen -G "/usr/lib/postgresql/*/bin/postgres" >/dev/null || missing+=(postgresql)
[ ${#missing[@]} -eq 0 ] || apt_install "${missing[@]}"

stamp_dir=$("$PYTHON" -c 'import sys; print(sys.prefix)')

# A hash of what goes into the installs (the files git would see), and of the
# interpreter they go into.
inputs_hash() {
  "$PYTHON" - <<'PY'
import hashlib, os, subprocess, sys
paths = ["pyproject.toml", "CMakeLists.txt", "src", "python"]
try:
    files = subprocess.run(["git", "ls-files", "-z", "-co", "--exclude-standard", "--", *paths],
                           capture_output=True, check=True).stdout.decode().split("\0")
except (OSError, subprocess.CalledProcessError):  # not a git checkout
    files = [os.path.join(top, name) for path in paths for top, _, names in os.walk(path) for name in names]
digest = hashlib.sha256(f"{sys.executable} {sys.version}".encode())
for name in sorted(set(files)):
    if os.path.isfile(name) and not any(part in name for part in ("__pycache__", ".egg-info", "/build/")):
        digest.update(name.encode() + b"\0")
        with open(name, "rb") as content:
            digest.update(hashlib.sha256(content.read()).digest())
print(digest.hexdigest())
PY
}

wanted=$(inputs_hash)
stamp="$stamp_dir/.nelvor-setup-${1:-all}.stamp"
if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$wanted" ] \
   && { [ "${1:-}" = "--tools-only" ] || compgen -G "build/wheelhouse/nelvor_postgres_store-*.whl" >/dev/null; }; then
  exit 0
fi

# The build backends go into the virtualenv itself: the builds then run without
# isolation, so that the CMake build directory (build/) is reused incrementally,
# and scripts/dev_build.sh finds nanobind there.
mapfile -t requirements < <("$PYTHON" scripts/requirements.py build test
                            "$PYTHON" scripts/requirements.py --pyproject python/pyproject.toml build)
"$PYTHON" -m pip install -q "${requirements[@]}"
if [ "${1:-}" != "--tools-only" ]; then
  echo "Building the project's wheel with $PYTHON (the C++ build takes a few minutes the first time)"
  rm -rf build/wheelhouse
  "$PYTHON" -m pip wheel -q --no-build-isolation --no-deps -w build/wheelhouse .
  "$PYTHON" -m pip install -q --force-reinstall --no-deps build/wheelhouse/nelvor_postgres_store-*.whl
fi
# The framework stand-in: a distribution of its own, for the demo, tests and benchmark.
# Installed after our wheel, and anew: replacing an older wheel of ours, which still
# carried the stand-in's files, removes them.
"$PYTHON" -m pip install -q --no-build-isolation --no-deps --force-reinstall ./python
echo "$wanted" > "$stamp"
