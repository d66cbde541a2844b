#!/usr/bin/env bash
# Formats the C++ sources (every tracked .cpp and .h) with the repository's
# .clang-format, using Debian's clang-format (installed by
# tools/deps.sh --format when missing):
#   tools/format.sh           rewrites the files that differ, in place
#   tools/format.sh --check   changes nothing; lists the files that differ and
#                             exits with 1 when there is any (CI runs this)
# Versions of clang-format lay out some code differently, so the version in
# use is printed first.
set -euo pipefail
cd "$(dirname "$0")/.."
tools/deps.sh --format

check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *)
    echo "usage: tools/format.sh [--check]" >&2
    exit 1
    ;;
esac

mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
clang-format --version

differ=()
for file in "${files[@]}"; do
  if ! clang-format --dry-run --Werror "$file" >/dev/null 2>&1; then
    differ+=("$file")
  fi
done

if [ "$check" -eq 1 ]; then
  if [ ${#differ[@]} -ne 0 ]; then
    printf 'not formatted: %s\n' "${differ[@]}"
    echo "${#differ[@]} of ${#files[@]} files are not formatted; run tools/format.sh"
    exit 1
  fi
  echo "All ${#files[@]} files are formatted."
  exit 0
fi

for file in "${differ[@]}"; do
  clang-format -i "$file"
  echo "formatted: $file"
done
echo "${#differ[@]} of ${#files[@]} files formatted."
