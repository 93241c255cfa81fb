#!/usr/bin/env bash
# The benchmark in one command:  bash bench/run.sh [--scale 1,10] [--rounds N] [--only H1,S4]
# Installs the project with its bench extras (psycopg2, psycopg 3 (C), asyncpg, matplotlib),
# starts a throwaway PostgreSQL cluster unless POSTGRES_* name a server, builds the
# dataset through the classes, runs every workload and writes bench/results/latest.json
# and bench/results/latest.png.
# NELVOR_BENCH_BUILD=dev uses scripts/dev_build.sh (a staged tree on PYTHONPATH) instead of
# `pip install .`, and installs only the bench extras.
cd "$(dirname "$0")/.."
for argument in "$@"; do
  if [ "$argument" = "-h" ] || [ "$argument" = "--help" ]; then
    # Usage at once: the header above, then the options (standard library only).
    sed -n '2,/^[^#]/p' bench/run.sh | sed -n 's/^# \{0,1\}//p'
    echo
    exec python3 -m bench.options --help
  fi
done
source scripts/common.sh

missing_tools=0
for tool in g++ pg_config; do command -v "$tool" >/dev/null || missing_tools=1; done
[ -f "$(pg_config --includedir 2>/dev/null)/libpq-fe.h" ] || missing_tools=1
if [ "$missing_tools" -ne 0 ]; then
  bash scripts/setup.sh  # system packages (compiler, libpq, PostgreSQL)
fi

if [ "${NELVOR_BENCH_BUILD:-}" = "dev" ]; then
  extras=$("$PYTHON" - <<'PY'
import re
text = open("pyproject.toml", encoding="utf-8").read()
print(" ".join(re.findall(r'"([^"]+)"', re.search(r"^bench\s*=\s*\[(.*?)\]\s*$", text, re.M | re.S).group(1))))
PY
)
  # shellcheck disable=SC2086
  "$PYTHON" -m pip install -q $extras
  stage=$(bash scripts/dev_build.sh bench)
  export PYTHONPATH="$stage${PYTHONPATH:+:$PYTHONPATH}"
else
  echo "Installing the project with its bench extras (the C++ build takes a few minutes the first time)"
  "$PYTHON" -m pip install -q ".[bench]"
fi

# The repository root goes first so that `-m bench` finds this directory.
export PYTHONPATH="$PWD${PYTHONPATH:+:$PYTHONPATH}"
exec "$PYTHON" scripts/embedded_pg.py -- "$PYTHON" -m bench "$@"
