#!/usr/bin/env bash
# Fuzzes both file loads with libFuzzer for the given number of seconds
# (default 300), starting from the shipped samples and test files.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
seconds=${1:-300}
CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DRELAN_BUILD_FUZZ=ON \
    -DRELAN_BUILD_TESTS=OFF -DRELAN_BUILD_GUI=OFF -DRELAN_SANITIZE=ON
cmake --build build-fuzz --target fuzz_input_files
corpus=build-fuzz/corpus
mkdir -p "$corpus"
cp data/samples/* "$corpus"/
[ -d tests/data ] && cp tests/data/* "$corpus"/ 2>/dev/null || true
# The same files in the other encodings the loads accept, so that the
# decoding paths are explored from real files too.
for f in data/samples/* tests/data/*.rel; do
  b=$(basename "$f")
  iconv -f CP1251 -t UTF-8 "$f" > "$corpus/utf8-$b" || true
  { printf '\xEF\xBB\xBF'; cat "$corpus/utf8-$b"; } > "$corpus/bom-$b"
  { printf '\xFF\xFE'; iconv -f CP1251 -t UTF-16LE "$f"; } > "$corpus/utf16le-$b" || true
  { printf '\xFE\xFF'; iconv -f CP1251 -t UTF-16BE "$f"; } > "$corpus/utf16be-$b" || true
done
./build-fuzz/fuzz/fuzz_input_files -max_total_time="$seconds" -max_len=65536 -timeout=10 \
    -artifact_prefix=build-fuzz/ "$corpus"
