#!/bin/sh
# Runs the kit's main job from build folder $1 on its built-in defaults.
set -e
build=${1:-build}
if [ -x "$build/orvex-link" ]; then
  exec "$build/orvex-link" --out "$build/link-run"
fi
exec "$build/rx-demo"
