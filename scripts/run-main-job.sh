#!/bin/sh
# Runs the kit's main job from build folder $1 on its built-in defaults.
set -e
build=${1:-build}
exec "$build/orvex-link" --out "$build/link-run"
