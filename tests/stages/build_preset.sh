#!/bin/sh
# build_preset.sh PRESET: configures and builds one preset with JOBS
# compilers (default 2).
cmake --preset "$1" >/dev/null && exec cmake --build --preset "$1" -j "${JOBS:-2}"
