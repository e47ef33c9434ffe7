#!/usr/bin/env bash
# Sets up the machine, builds the product and shows it: for now the board renderer draws the
# start position into build/start-position.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$PWD/.cache/ccache}"
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target tavlora-fen2png

out="$PWD/build/start-position.png"
"$build/tools/tavlora-fen2png" "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" 400 "$out" --letters
echo "Start position drawn into $out"
