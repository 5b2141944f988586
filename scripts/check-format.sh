#!/usr/bin/env bash
# Fails, with one line naming them, when tracked C++ files differ from what the root .clang-format
# makes of them. Fix with: clang-format -i <files>
set -euo pipefail
cd "$(dirname "$0")/.."

formatter=${CLANG_FORMAT:-clang-format}
if ! command -v "$formatter" >/dev/null; then
  echo "check-format: $formatter is not installed (scripts/setup.sh installs it)" >&2
  exit 1
fi

# One formatter run per batch of files; each difference is reported as "<file>:<line>:<col>: error: ...".
status=0
# The tracked files; a checkout without git metadata (an exported tree) has its sources below the
# top folder, apart from build output.
list_sources() {
  if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git ls-files -z -- '*.cpp' '*.h'
  else
    find . -path ./build -prune -o -path ./.git -prune -o -type f \( -name '*.cpp' -o -name '*.h' \) -print0
  fi
}
report=$(list_sources | xargs -0 "$formatter" --dry-run -Werror 2>&1) || status=$?
mapfile -t unformatted < <(grep -oE '^[^:]+:[0-9]+:[0-9]+: error:' <<<"$report" | cut -d: -f1 | sort -u)

# A failure naming no file (a bad style option, a crash) must not pass as "all formatted".
if [ "$status" -ne 0 ] && [ ${#unformatted[@]} -eq 0 ]; then
  echo "check-format: $formatter failed: $(head -n 1 <<<"$report")" >&2
  exit 1
fi

if [ ${#unformatted[@]} -ne 0 ]; then
  echo "check-format: ${#unformatted[@]} file(s) not formatted: ${unformatted[*]}" >&2
  exit 1
fi
