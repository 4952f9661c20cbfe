#!/usr/bin/env bash
# The sources are clang-format clean.   format_check.sh SOURCE_DIR
set -euo pipefail
cd "$1"
command -v clang-format >/dev/null && git rev-parse --git-dir >/dev/null 2>&1 || exit 77
git ls-files -z '*.cpp' '*.h' '*.c' | xargs -0 clang-format --dry-run --Werror
