#!/usr/bin/env bash
# Fails on any C or C++ file that git tracks and the committed .clang-format
# would change; lists the files. Mend with: clang-format -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format > /dev/null || { apt-get install -y -q clang-format > /dev/null; }
unformatted=()
while IFS= read -r f; do
    clang-format --dry-run --Werror "$f" > /dev/null 2>&1 || unformatted+=("$f")
done < <(git ls-files '*.c' '*.cpp' '*.h')
if [ ${#unformatted[@]} -gt 0 ]; then
    echo "format-check: ${#unformatted[@]} files differ from .clang-format (clang-format -i them):" >&2
    printf '  %s\n' "${unformatted[@]}" >&2
    exit 1
fi
echo "format-check: $(git ls-files '*.c' '*.cpp' '*.h' | wc -l) files formatted"
