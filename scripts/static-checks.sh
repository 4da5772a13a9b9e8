#!/usr/bin/env bash
# clang-format, clang-tidy or cppcheck over the project's own code.
# Usage: static-checks.sh format|tidy|cppcheck [build-dir-with-compile_commands]
set -euo pipefail
cd "$(dirname "$0")/.."
check=$1
build=${2:-build/host}

sources() {  # the project's C++ files, tests included where said
  git ls-files -- '*.cpp' '*.h' | grep -v -E "${1:-^$}"
}

case "$check" in
  format)
    sources | xargs clang-format --dry-run --Werror
    ;;
  tidy)
    # Only units the host build compiles; headers come in through them.
    sources '(^|/)tests?/|_test\.cpp$|\.h$|^platform/wince/startup' |
      xargs run-clang-tidy -quiet -p "$build" -j 2 >"$build/clang-tidy.log" 2>&1 ||
      { sed 's/\x1b\[[0-9;]*m//g' "$build/clang-tidy.log" | grep -E ' (error|warning): ' | sort -u; exit 1; }
    ;;
  cppcheck)
    sources '(^|/)tests?/|_test\.cpp$' |
      xargs cppcheck --enable=warning,style,performance,portability --std=c++20 --language=c++ \
        --inline-suppr --error-exitcode=1 -q -I . -I "$build/generated" \
        -I "$build/generated/program" -I "$build/generated/layout" \
        --suppress=missingIncludeSystem --suppress=unusedFunction \
        --suppress=unusedStructMember --suppress=useStlAlgorithm
    ;;
  *)
    echo "usage: $0 format|tidy|cppcheck [build-dir]" >&2
    exit 2
    ;;
esac
