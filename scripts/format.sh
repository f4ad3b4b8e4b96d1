#!/bin/sh
# Formats every C++ source in the repository with clang-format.
# With --check, changes nothing and fails listing the files that are off.
set -eu
cd "$(dirname "$0")/.."
files=$(git ls-files '*.cpp' '*.h' 2>/dev/null || find app protocol transport doctor core cli station wedge logtext pages sim usb tests bench fuzz -name '*.cpp' -o -name '*.h')
if [ "${1:-}" = "--check" ]; then
    bad=""
    for f in $files; do
        clang-format --dry-run --Werror "$f" >/dev/null 2>&1 || bad="$bad $f"
    done
    if [ -n "$bad" ]; then
        echo "Not formatted (run scripts/format.sh):$bad" >&2
        exit 1
    fi
    echo "Formatting: all sources follow .clang-format."
else
    # shellcheck disable=SC2086
    clang-format -i $files
fi
