#!/usr/bin/env bash
# Redraws the screenshots of docs/ on the sample data, each window on a
# 1280x800 virtual screen as a user of such a screen sees it.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j "$(nproc)" --target relan-screens
sample=data/samples/mtz82_2018.rel
shoot() { # window, file, seconds to settle
  xvfb-run -a -s "-screen 0 1280x800x24" bash -c "
    ./build/relan-screens $1 $sample 2>/dev/null &
    sleep $3
    import -window root docs/$2
    kill \$! 2>/dev/null || true"
  echo "docs/$2"
}
shoot main form1.png 4
shoot genetic genetic.png 4
shoot results form2.png 12
shoot expanded expand.png 12
shoot probability probability.png 12
shoot nonparam form3.png 6
shoot calculating calculating.png 6
