#!/usr/bin/env bash
# Sets up the machine, builds the product and shows it: for now the board renderer draws the
# start position into build/start-position.png.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
export CCACHE_DIR="${CCACHE_DIR:-$PWD/.cache/ccache}"
build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build "$build" -j "$(nproc)" --target tavlora-fen2png tavlora-service

out="$PWD/build/start-position.png"
"$build/tools/tavlora-fen2png" "rnbqkbnr/pppppppp/8/8/8/8/PPPPPPPP/RNBQKBNR w KQkq - 0 1" 400 "$out" --letters
echo "Start position drawn into $out"

# The board service on this machine, with its data in the user's data folder; Ctrl+C stops it.
"$build/service/tavlora-service" &
service=$!
trap 'kill "$service" 2>/dev/null || true' INT TERM EXIT
sleep 1
if kill -0 "$service" 2>/dev/null; then
  echo "Board service running: students open http://127.0.0.1:13208/student/ (or this machine's"
  echo "address with --listen 0.0.0.0); a room's projector page is /room-code/?id=<room id>."
fi
wait "$service"
