#!/usr/bin/env bash
# Runs the fault table (tests/linux_desktop/linux_fault_table_test.cpp) on a private desktop and puts
# the rows it printed into docs/linux.md, between its two fault-table markers. The table in the docs
# is therefore always one run's real output, never edited by hand.
#   scripts/fault-table.sh [BUILD_DIR]   (default build/debug, built with the test)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
test_program=$build/tests/linux_desktop/linux_fault_table_test
[ -x "$test_program" ] || { echo "build $test_program first (cmake --build --preset debug)" >&2; exit 1; }
table=$(mktemp)
trap 'rm -f "$table"' EXIT
log=$build/fault-table.log
ZINNA_FAULT_TABLE=$table tests/linux_desktop/run-in-private-desktop.sh "$test_program" >"$log" 2>&1 ||
  { grep -v '^|' "$log" >&2; echo "the fault table's test failed (all of it in $log): the docs are left as they were" >&2; exit 1; }
python3 - "$table" docs/linux.md <<'PY'
import sys
rows = open(sys.argv[1], encoding="utf-8").read()
path = sys.argv[2]
text = open(path, encoding="utf-8").read()
begin, end = "<!-- fault-table begin -->\n", "<!-- fault-table end -->"
if begin not in text or end not in text:
    sys.exit("docs/linux.md has no fault-table markers")
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
open(path, "w", encoding="utf-8").write(head + begin + rows + end + tail)
PY
echo "docs/linux.md: $(($(wc -l <"$table") - 2)) rows"
