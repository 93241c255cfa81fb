#!/usr/bin/env bash
# Builds the two modules with AddressSanitizer and UndefinedBehaviorSanitizer
# (build/dev-asan) and runs the whole test suite against them on a throwaway
# PostgreSQL (after scripts/setup.sh). Extra arguments go to pytest, e.g. a test
# directory to run only that: bash scripts/sanitize.sh tests/reliability.
# Any sanitizer report ends the run with a failure.
source "$(dirname "$0")/common.sh"

stage=$(NELVOR_SANITIZE=ON scripts/dev_build.sh asan)

runtime="$(gcc -print-file-name=libasan.so) $(gcc -print-file-name=libubsan.so)"
for library in $runtime; do
  [ -f "$library" ] || { echo "sanitizer runtime not found: $library" >&2; exit 1; }
done

# Leak reports would be drowned by CPython's own never-freed allocations;
# PYTHONMALLOC=malloc lets ASan see every Python object allocation.
export ASAN_OPTIONS=detect_leaks=0:abort_on_error=1
export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
export PYTHONMALLOC=malloc PYTHONPATH="$stage"

# The runtime is preloaded into the interpreter only: the tests' own child
# processes (psql, pg_ctl, pgbench, pgbouncer) start without it, and child Python
# processes get it back from NELVOR_SANITIZER_RUNTIME (tests/python_child.py).
"$PYTHON" scripts/embedded_pg.py -- env LD_PRELOAD="$runtime" NELVOR_SANITIZER_RUNTIME="$runtime" "$PYTHON" -c '
import os, sys
os.environ.pop("LD_PRELOAD", None)
import pytest
sys.exit(pytest.main(sys.argv[1:]))
' -q -p no:cacheprovider --timeout="${NELVOR_TEST_TIMEOUT:-900}" --timeout-method=thread \
  "$@"
