#!/usr/bin/env bash
# The benchmark in one command:  bash bench/run.sh [--scale 1,10] [--rounds N] [--only H1,S4]
# Sets the project up (scripts/setup.sh), installs the bench extras (psycopg2, psycopg 3 (C), asyncpg, matplotlib, orjson),
# starts a throwaway PostgreSQL cluster unless POSTGRES_* name a server, builds the
# dataset through the classes, runs every workload and writes bench/results/latest.json
# and bench/results/latest.png.
# NELVOR_BENCH_BUILD=dev uses scripts/dev_build.sh (a staged tree on PYTHONPATH) instead of
# the installed wheel.
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

# System packages, the virtualenv, the framework stand-in (and, unless the dev
# build is asked for, the project itself): each skipped when already in place.
if [ "${NELVOR_BENCH_BUILD:-}" = "dev" ]; then
  bash scripts/setup.sh --tools-only
  stage=$(bash scripts/dev_build.sh bench)
  export PYTHONPATH="$stage${PYTHONPATH:+:$PYTHONPATH}"
else
  bash scripts/setup.sh
fi
mapfile -t extras < <("$PYTHON" scripts/requirements.py bench)
"$PYTHON" -m pip install -q "${extras[@]}"

# The repository root goes first so that `-m bench` finds this directory.
export PYTHONPATH="$PWD${PYTHONPATH:+:$PYTHONPATH}"
exec "$PYTHON" scripts/embedded_pg.py -- "$PYTHON" -m bench "$@"
