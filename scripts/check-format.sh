#!/usr/bin/env bash
# Fails, listing the files, when a C++ file of the tree differs from what .clang-format makes of it.
# Usage: scripts/check-format.sh [--fix]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
command -v clang-format >/dev/null || { echo "check-format: clang-format não está instalado" >&2; exit 1; }
mapfile -t files < <(git ls-files '*.cpp' '*.h' 2>/dev/null || find src apps tests bench fuzz packaging -name '*.cpp' -o -name '*.h')
if [ "${1:-}" = "--fix" ]; then
    clang-format -i "${files[@]}"
    exit 0
fi
differ=()
for f in "${files[@]}"; do
    clang-format "$f" | cmp -s - "$f" || differ+=("$f")
done
if [ ${#differ[@]} -gt 0 ]; then
    echo "check-format: ${#differ[@]} arquivo(s) fora do formato (scripts/check-format.sh --fix corrige):" >&2
    printf '  %s\n' "${differ[@]}" >&2
    exit 1
fi
echo "check-format: ${#files[@]} arquivos no formato"
