#!/usr/bin/env bash
# Sets everything up and runs the test suite on a throwaway PostgreSQL
# (or on the server that POSTGRES_* name). Extra arguments go to pytest.
source "$(dirname "$0")/common.sh"
bash scripts/setup.sh

# The C++ unit tests of the driver's pure pieces (lexer, LRU map): a small
# build of their own, run by ctest.
generator=()
command -v ninja >/dev/null && generator=(-G Ninja)
cmake -S tests/cpp -B build/cpp-tests "${generator[@]}" >/dev/null
cmake --build build/cpp-tests --target cpp_unit_tests --parallel 2 >/dev/null
ctest --test-dir build/cpp-tests --output-on-failure

# The whole suite, unless the arguments name test paths of their own.
selection=(tests)
for argument in "$@"; do
  [ -e "${argument%%::*}" ] && selection=()
done

# A hung statement must fail the run instead of eating the CI time limit.
status=0
"$PYTHON" scripts/embedded_pg.py -- "$PYTHON" -m pytest -q \
  --timeout="${NELVOR_TEST_TIMEOUT:-600}" --timeout-method=thread "${selection[@]}" "$@" || status=$?
if [ "$status" -eq 5 ]; then
  echo "pytest collected no tests: counted as a failure" >&2
  exit 1
fi
[ "$status" -ne 0 ] && exit "$status"

# The same statements must mean the same with prepared statements from the first
# execution on and with none prepared: the suites that send them run once more
# each way (skipped when extra pytest arguments narrow the run).
if [ $# -eq 0 ]; then
  for threshold in 0 off; do
    echo "Again with NELVOR_PREPARE_THRESHOLD=$threshold:"
    NELVOR_PREPARE_THRESHOLD=$threshold "$PYTHON" scripts/embedded_pg.py -- "$PYTHON" -m pytest -q \
      --timeout="${NELVOR_TEST_TIMEOUT:-600}" --timeout-method=thread \
      tests/core tests/driver tests/ledger tests/current || status=$?
  done
fi
exit "$status"
