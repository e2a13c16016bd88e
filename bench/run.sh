#!/usr/bin/env bash
# Benchmarks the shredding engine against the device limit (dd), rm -rf and
# coreutils shred, side by side in one run, and prints a table of medians,
# flushes and ratios, then the memory rows.
#
#   bench/run.sh [SCRATCH_FOLDER]     (default: a new folder in /var/tmp)
#
# REPS (default 3) sets the repetitions, SIZE_MIB (default 1024) the large
# file. Every contender of a workload runs once per repetition, in turn, so
# slow drifts of a shared machine touch them alike. Needs build/ (cmake).
# As root, the page cache is dropped before the 2 GiB run, so that its growth
# is measured from an empty cache.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench="$here/build/bench/shred_bench"
[ -x "$bench" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
reps=${REPS:-3}
size_mib=${SIZE_MIB:-1024}
base=${1:-/var/tmp}
scratch=$(mktemp -d "$base/vorn-bench-XXXXXX")
trap 'rm -rf "$scratch"' EXIT

declare -A times flushes
now() { date +%s.%N; }
# Runs "$@" and appends its wall time to the list named by $1; a run of the
# engine also leaves its count of flushes there.
timed() {
    local key=$1 start end out
    shift
    start=$(now)
    out=$("$@")
    end=$(now)
    times[$key]+="$(echo "$end - $start" | bc -l) "
    if [[ $out =~ flushes=([0-9]+) ]]; then flushes[$key]=${BASH_REMATCH[1]}; fi
}
median() {
    tr ' ' '\n' <<<"${times[$1]}" | grep . | sort -g | awk '{v[NR]=$1} END {
        if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
ratio() { printf "%.2f" "$(echo "$1 / $2" | bc -l)"; }
field() { sed -n "s/.*$1=\([0-9]*\).*/\1/p"; }
mib() { echo "scale=1; $1 / 1024" | bc -l; }

big="$scratch/large.bin"
make_big() {
    dd if=/dev/urandom of="$big" bs=1M count="${1:-$size_mib}" status=none
    sync
}
dd_passes() {
    local i
    for ((i = 0; i < $1; i++)); do
        dd if=/dev/zero of="$big" bs=1M count="$size_mib" conv=notrunc,fdatasync status=none
    done
}

echo "Large file ($size_mib MiB), $reps repetitions..." >&2
for ((r = 0; r < reps; r++)); do
    for passes in 2 1; do
        quick=$([ "$passes" = 1 ] && echo --quick || true)
        naive=$([ "$passes" = 1 ] && echo --naive-quick || echo --naive)
        only=$([ "$passes" = 1 ] && echo --passes-quick || echo --passes)
        make_big; timed "dd$passes" dd_passes "$passes"; timed "rm$passes" rm -f "$big"
        make_big; timed "passes$passes" "$bench" "$only" "$big"
        make_big; timed "ours$passes" "$bench" $quick "$big"
        make_big; timed "shred$passes" shred -u -n $((passes - 1)) -z "$big"
        make_big; timed "naive$passes" "$bench" "$naive" "$big"
    done
done
rm -f "$big"

tree="$scratch/tree"
rm_sync() { rm -rf "$tree"; sync; }
echo "Many small files (100 folders, 10,000 files of 1-16 KiB)..." >&2
for ((r = 0; r < reps; r++)); do
    for passes in 2 1; do
        quick=$([ "$passes" = 1 ] && echo --quick || true)
        "$bench" --make-tree "$tree" 100 100 16; sync
        timed "small_ours$passes" "$bench" $quick "$tree"
        rm -rf "$tree"
        "$bench" --make-tree "$tree" 100 100 16; sync
        timed "small_shred$passes" find "$tree" -type f -exec shred -u -n $((passes - 1)) -z {} +
        rm -rf "$tree"
    done
    "$bench" --make-tree "$tree" 100 100 16; sync
    timed small_rm rm_sync
done

echo "Memory during a 2 GiB shred..." >&2
make_big 2048
cache_note="from the cache as it was"
if [ "$(id -u)" -eq 0 ]; then
    echo 3 >/proc/sys/vm/drop_caches
    cache_note="from an empty cache"
fi
watch=$("$bench" "$big")
rm -f "$big"

echo "Memory (1,000,000 empty files, listed as a run lists them first)..." >&2
"$bench" --make-tree "$tree" 1000 1000 0; sync
peak_kib=$("$bench" --list "$tree" | field peak_rss_kib)
rm -rf "$tree"

mb=$((size_mib * 1048576 / 1000000))
echo
echo "| workload | passes | contender | median s | rate | flushes | ratio |"
echo "|---|---|---|---|---|---|---|"
for passes in 2 1; do
    dd_t=$(median "dd$passes")
    ddrm_t=$(echo "$dd_t + $(median "rm$passes")" | bc -l)
    for who in dd passes ours naive shred; do
        t=$(median "$who$passes")
        rate=$(echo "scale=0; $mb * $passes / $t" | bc -l)
        case $who in
            dd) label="dd (device limit)"; note="1.00 (reference)" ;;
            passes) label="vorn passes alone"; note="$(ratio "$dd_t" "$t") of dd (goal ≥ 0.95)" ;;
            ours) label="vorn engine, with rename and removal"
                note="$(ratio "$ddrm_t" "$t") of dd + rm (goal ≥ 0.9)" ;;
            naive) label="passes in 1 KiB write calls"; note="$(ratio "$dd_t" "$t") of dd" ;;
            shred) label="shred -u -n $((passes - 1)) -z"; note="vorn $(ratio "$t" "$(median "ours$passes")")x faster" ;;
        esac
        printf '| large file | %s | %s | %.2f | %s MB/s | %s | %s |\n' \
            "$passes" "$label" "$t" "$rate" "${flushes[$who$passes]:-}" "$note"
    done
done
rm_t=$(median small_rm)
printf '| 10,000 small files | - | rm -rf + sync (floor) | %.2f | %s files/s | | 1.00 (reference) |\n' \
    "$rm_t" "$(echo "scale=0; 10000 / $rm_t" | bc -l)"
for passes in 2 1; do
    ours_t=$(median "small_ours$passes")
    shred_t=$(median "small_shred$passes")
    n=${flushes[small_ours$passes]}
    printf '| 10,000 small files | %s | vorn engine | %.2f | %s files/s | %s (1 per %s files) | %sx rm -rf + sync (goal ≤ 1.5) |\n' \
        "$passes" "$ours_t" "$(echo "scale=0; 10000 / $ours_t" | bc -l)" "$n" "$((10000 / n))" \
        "$(ratio "$ours_t" "$rm_t")"
    printf '| 10,000 small files | %s | shred -u -n %s -z | %.2f | %s files/s | | vorn %sx faster |\n' \
        "$passes" "$((passes - 1))" "$shred_t" "$(echo "scale=0; 10000 / $shred_t" | bc -l)" \
        "$(ratio "$shred_t" "$ours_t")"
done
printf '| 2 GiB file, memory | 2 | vorn engine | | dirty + write-back peak %s MiB above start | | goal ≤ 128 MiB |\n' \
    "$(mib "$(field dirty_peak_kib <<<"$watch")")"
printf '| 2 GiB file, memory | 2 | vorn engine | | page-cache growth %s MiB, %s | | goal ≤ 320 MiB |\n' \
    "$(mib "$(field cache_peak_kib <<<"$watch")")" "$cache_note"
printf '| 1,000,000 empty files, listed | - | vorn engine | | peak RSS %s MiB | | goal ≤ 80 MiB |\n' \
    "$(mib "$peak_kib")"
