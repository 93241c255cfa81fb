# Sourced by the scripts here: repository root as working directory and $PYTHON,
# the interpreter of a virtualenv. The python3 on PATH is used when it belongs
# to a virtualenv (an activated one, or one whose bin/ comes first on PATH);
# otherwise the project's own .venv is created and used, so that nothing is ever
# installed into the system's interpreter (which PEP 668 forbids on Debian).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ROOT_USER_ACTION=ignore

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

apt_install() {
  echo "Installing system packages: $*" >&2
  export DEBIAN_FRONTEND=noninteractive
  # Kept off stdout: callers read a path from this script's output.
  as_root apt-get update -qq >&2
  as_root apt-get install -y -qq --no-install-recommends "$@" >/dev/null
}

in_virtualenv() {
  "$1" -c 'import sys; sys.exit(sys.prefix == sys.base_prefix)' 2>/dev/null
}

project_virtualenv() {
  local base
  base=$(command -v python3 || true)
  if [ -z "$base" ]; then
    apt_install python3
    base=$(command -v python3)
  fi
  if [ ! -x .venv/bin/python ]; then
    rm -rf .venv
    # Debian ships venv's pip bootstrap in a package of its own.
    if ! "$base" -m venv .venv >/dev/null 2>&1; then
      rm -rf .venv
      apt_install python3-venv
      "$base" -m venv .venv
    fi
    echo "Created the project's virtualenv .venv (with $("$base" --version))" >&2
  fi
  echo "$PWD/.venv/bin/python"
}

if [ -z "${PYTHON:-}" ]; then
  PYTHON=$(command -v python3 || command -v python || true)
  if [ -z "$PYTHON" ] || ! in_virtualenv "$PYTHON"; then
    PYTHON=$(project_virtualenv)
  fi
fi
export PYTHON
