#!/usr/bin/env bash
# Installs what building and testing need; safe to run again (apt only runs
# when a package is missing).
source "$(dirname "$0")/common.sh"

system_packages=(g++ cmake rapidjson-dev libpq-dev postgresql-15 pgbouncer)
missing=()
for package in "${system_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" \
    || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing system packages: ${missing[*]}"
  sudo=()
  [ "$(id -u)" -ne 0 ] && sudo=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo[@]}" apt-get update -qq
  "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

echo "Building and installing the project with $PYTHON (the C++ build takes a few minutes the first time)"
"$PYTHON" -m pip install -q ".[test]"
