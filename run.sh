#!/usr/bin/env bash
# Installs what is missing (Debian), builds the wizard and starts it with the given
# arguments, from the caller's folder. Without a display it runs offscreen, so an
# unattended backup ("/backup ... /q") works from cron.
set -euo pipefail
root="$(cd "$(dirname "$0")" && pwd)"
(
  cd "$root"
  source scripts/ensure-deps.sh
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build --target orvex >&2
)
exec "$root/build/src/wizard/orvex" "$@"
