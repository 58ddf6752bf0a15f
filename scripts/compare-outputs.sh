#!/usr/bin/env bash
# Runs two builds of relan-cli over the same inputs and compares every output
# byte for byte: the JSON, text and CSV of analyze (every model, the samples
# and the fit-path fleets), load, nonparam, the report's text and the error
# messages with their exit codes. The chart PNGs are compared by pixels and
# put side by side for a look.
#   bash scripts/compare-outputs.sh BEFORE/relan-cli AFTER/relan-cli [OUTDIR]
# Exits 1 when any output differs.
set -uo pipefail
cd "$(dirname "$0")/.."
before=$(realpath "$1")
after=$(realpath "$2")
out=${3:-$(mktemp -d)}
mkdir -p "$out/before" "$out/after" "$out/charts"
S=data/samples/mtz82_2018.rel
G=data/samples/gar2018.txt
T=tests/data/small.rel
F=bench/data/fleet1500.rel
fits="--models spiral,newton,smirnov --no-timing"
all="--models spiral,newton,smirnov,ml --no-timing"
genetic="--models spiral,genetic --no-timing --seed 7 --population 300 --generations 40 --threads 2"
cases=(
    "load $S"
    "load $S --warranty $G"
    "load $S --format csv"
    "load $S --decimal-separator ,"
    "load $T"
    "analyze $S $fits"
    "analyze $S --warranty $G $fits"
    "analyze $S $fits --fit-mean --fit-sd"
    "analyze $S $fits --criterion spec2"
    "analyze $S $fits --criterion standard"
    "analyze $S $fits --kdiv-smirnov 1.01 --kdiv-spiral 1.01 --kdiv-newton 1.01"
    "analyze $F $fits"
    "analyze $T $fits"
    "analyze $T $fits --sred 1400 --sko 300"
    "analyze $S $all"
    "analyze $S $all --format text"
    "analyze $S $all --format csv"
    "analyze $S $all --decimal-separator ,"
    "analyze $S $all --decimal-separator , --format text"
    "analyze $S $all --decimal-separator , --format csv"
    "analyze $S $all --mcf-times 500,1000,2500.5"
    "analyze $S $all --fit-mean --fit-sd --format text"
    "analyze $S $all --tgar 3000"
    "analyze $T $all --format text"
    "analyze $F $all --format text"
    "analyze $S $genetic"
    "analyze $S $genetic --format text"
    "analyze $S $genetic --format csv"
    "analyze $S $genetic --fit-mean"
    "nonparam $S"
    "nonparam $S --warranty $G --decimal-separator ,"
    "nonparam $T --sred 1400 --sko 300"
    "analyze $S --models spiral --sred abc"
    "analyze $S --models spiral --kdiv-smirnov 1 --models smirnov"
    "analyze $S --models nothing"
    "analyze /nonexistent.rel"
    "analyze $S --mcf-times 1000,5 --decimal-separator ,"
    "load /dev/null"
    "load $G"
)
status=0
i=0
for c in "${cases[@]}"; do
    i=$((i + 1))
    name=$(printf '%02d' "$i")
    for side in before after; do
        bin=$before
        [[ $side == after ]] && bin=$after
        # shellcheck disable=SC2086
        "$bin" $c >"$out/$side/$name.out" 2>"$out/$side/$name.err"
        echo "exit $?" >>"$out/$side/$name.err"
    done
    if cmp -s "$out/before/$name.out" "$out/after/$name.out" &&
        cmp -s "$out/before/$name.err" "$out/after/$name.err"; then
        echo "same      $name  relan-cli $c"
    else
        echo "DIFFERENT $name  relan-cli $c"
        status=1
    fi
done

# The report's text, as pdftotext reads it back.
for side in before after; do
    bin=$before
    [[ $side == after ]] && bin=$after
    for sep in . ,; do
        pdf="$out/$side/report$sep.pdf"
        "$bin" report "$S" --models spiral,newton,smirnov,ml --no-timing --decimal-separator "$sep" --out "$pdf" \
            >/dev/null 2>&1
        pdftotext -layout "$pdf" "$out/$side/report$sep.txt"
    done
done
for sep in . ,; do
    if cmp -s "$out/before/report$sep.txt" "$out/after/report$sep.txt"; then
        echo "same      report text (decimal '$sep')"
    else
        echo "DIFFERENT report text (decimal '$sep')"
        status=1
    fi
done

# The charts: pixels that differ, and both side by side to look at.
for w in results expanded nonparam; do
    for side in before after; do
        bin=$before
        [[ $side == after ]] && bin=$after
        QT_QPA_PLATFORM=offscreen "$bin" chart "$S" --window "$w" --models spiral,newton,smirnov \
            --out "$out/charts/$w-$side.png" >/dev/null 2>&1
    done
    px=$(compare -metric AE "$out/charts/$w-before.png" "$out/charts/$w-after.png" null: 2>&1)
    montage "$out/charts/$w-before.png" "$out/charts/$w-after.png" -tile 2x1 -geometry +4+4 \
        "$out/charts/$w-side-by-side.png" 2>/dev/null
    echo "chart $w: $px pixels differ ($out/charts/$w-side-by-side.png)"
done
echo "outputs in $out"
exit $status
