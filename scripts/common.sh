# Sourced by the scripts here: repository root as working directory and the
# Python interpreter found on PATH (a virtualenv's, when one is active).
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")/.."
PYTHON=${PYTHON:-$(command -v python3 || command -v python || true)}
if [ -z "$PYTHON" ]; then
  echo "No python3 or python on PATH" >&2
  exit 1
fi
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_ROOT_USER_ACTION=ignore
