#!/usr/bin/env bash
# Installs what is missing, builds in release mode and starts the program as its desktop menu
# entry does: in the folder ~/Квиронт (or KV_WORK_DIR), made with a copy of the sample bank at
# the first start, where its protocols are written.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"

scripts/install-deps.sh run

build=build/release
echo "Сборка программы в $root/$build …"
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" -j "$(nproc)" --target kviront kviront-jetread kv_sample_bank

work=${KV_WORK_DIR:-$HOME/Квиронт}
mkdir -p "$(dirname "$work")"
echo "Протоколы тестов (*.usr) записываются в папку: $work"
exec "$build/libexec/kviront/kviront-start" "$work"
