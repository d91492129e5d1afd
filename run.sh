#!/usr/bin/env bash
# Starts the wizard with the given arguments, from the caller's folder. Only when
# the executable is not built yet or is older than its sources does it first
# install what the program needs (never the test toolchain) and build it; an
# unattended run ("/backup ... /q") never asks for a password. Without a display it
# runs offscreen, so an unattended backup works from cron.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
executable="$root/build/src/wizard/orvex"

stale() {
  [[ ! -x "$executable" ]] ||
    [[ -n "$(find "$root/src" "$root/resources" "$root/cmake" "$root/CMakeLists.txt" -newer "$executable" -print -quit)" ]]
}

if stale; then
  (
    cd "$root"
    switches=" $(printf '%s ' "$@" | tr 'A-Z-' 'a-z/') "
    [[ "$switches" == *" /backup "* && "$switches" == *" /q "* ]] && export ORVEX_UNATTENDED=1
    source scripts/run-deps.sh
    orvex_install_missing "${orvex_run_packages[@]}"
    if [[ ! -f build/CMakeCache.txt ]]; then
      cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEX_TESTS=OFF -DORVEX_BENCH=OFF >/dev/null
    fi
    # The build's output is shown only when it fails: a cron run stays quiet.
    cmake --build build --target orvex >build/run-build.log 2>&1 || { cat build/run-build.log >&2; exit 1; }
  )
fi
exec "$executable" "$@"
