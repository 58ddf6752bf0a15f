#!/usr/bin/env bash
# Formats every C++ source of the project with its .clang-format.
#   bash scripts/format.sh           rewrites the files that are not formatted
#   bash scripts/format.sh --check   changes nothing; lists them and fails
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t files < <(git ls-files -- '*.cpp' '*.hpp' '*.h' | sort -u)
if [[ ${1-} == --check ]]; then
    bad=()
    for f in "${files[@]}"; do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad+=("$f")
    done
    if ((${#bad[@]})); then
        printf 'Not formatted (run bash scripts/format.sh):\n' >&2
        printf '  %s\n' "${bad[@]}" >&2
        exit 1
    fi
    exit 0
fi
clang-format -i "${files[@]}"
