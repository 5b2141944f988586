#!/usr/bin/env bash
# Lines of test code against lines of the other code, over the C++ files git tracks: .cpp and .h
# under tests/ against every other tracked .cpp and .h. Run from anywhere in the work tree;
# --brief prints only the ratio.
set -euo pipefail
cd "$(git rev-parse --show-toplevel)"

count() { xargs -0 -r cat -- | wc -l; }

tests=$(git ls-files -z -- 'tests/*.cpp' 'tests/*.h' | count)
code=$(git ls-files -z -- '*.cpp' '*.h' ':!:tests/*' | count)
ratio=$(awk -v t="$tests" -v c="$code" 'BEGIN { printf "%.3f", c ? t / c : 0 }')

if [[ "${1:-}" == "--brief" ]]; then
  echo "$ratio"
else
  printf 'test lines %d, code lines %d, ratio %s\n' "$tests" "$code" "$ratio"
fi
