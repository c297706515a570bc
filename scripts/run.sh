#!/usr/bin/env bash
# Installs what is missing, builds in release mode, makes the sample question bank if it is
# missing, and starts the program in the folder where its protocols are to be written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh qt6-translations-l10n

build=build/release
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target kviront kviront-bank

work=${KV_WORK_DIR:-$HOME/kviront}
mkdir -p "$work"
bank="$work/sample.mdb"
if [ ! -f "$bank" ]; then
    "$build/tools/bank/kviront-bank" build samples/solar-system.txt "$bank"
fi
echo "Sample question bank: $bank"
echo "Test protocols (*.usr) are written to: $work"
cd "$work"
exec "$root/$build/app/kviront"
