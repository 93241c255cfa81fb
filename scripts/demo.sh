#!/usr/bin/env bash
# Sets everything up and runs the demo on a throwaway PostgreSQL
# (or on the server that POSTGRES_* name).
source "$(dirname "$0")/common.sh"
bash scripts/setup.sh
exec "$PYTHON" scripts/embedded_pg.py -- "$PYTHON" -m demo "$@"
