#!/usr/bin/env bash
# Benchmarks the shredding engine against the device limit (dd), rm -rf and
# coreutils shred, side by side in one run, and prints a table of medians,
# flushes and ratios, then the memory rows.
#
#   bench/run.sh [SCRATCH_FOLDER]     (default: a new folder in /var/tmp)
#
# REPS (default 3) sets the repetitions, SIZE_MIB (default 1024) the large
# file, SECTIONS (default all: "large small listed cold fuse names memory") which
# workloads run. Every contender of a workload runs once per repetition, in
# turn, so slow drifts of a shared machine touch them alike. Needs build/
# (cmake). As root, the page cache is dropped before the 2 GiB run, so that
# its growth is measured from an empty cache; the cold and FUSE rows (loop
# images) need root and are left out otherwise.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bench="$here/build/bench/shred_bench"
[ -x "$bench" ] || { echo "build first: cmake -S . -B build && cmake --build build" >&2; exit 2; }
reps=${REPS:-3}
size_mib=${SIZE_MIB:-1024}
sections=" ${SECTIONS:-large small listed cold fuse names memory} "
base=${1:-/var/tmp}
scratch=$(mktemp -d "$base/vorn-bench-XXXXXX")
root=$([ "$(id -u)" -eq 0 ] && echo 1 || true)
# Loop images are unmounted and detached on every way out.
mounts=()
loops=()
cleanup() {
    local m l
    for m in "${mounts[@]}"; do umount "$m" 2>/dev/null || umount -l "$m" 2>/dev/null || true; done
    for l in "${loops[@]}"; do losetup -d "$l" 2>/dev/null || true; done
    rm -rf "$scratch"
}
trap cleanup EXIT
section() { [[ $sections == *" $1 "* ]]; }
reps_of() { if section "$1"; then echo "$reps"; else echo 0; fi; }

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

section large && echo "Large file ($size_mib MiB), $reps repetitions..." >&2
for ((r = 0; r < $(reps_of large); r++)); do
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
section small && echo "Many small files (100 folders, 10,000 files of 1-16 KiB)..." >&2
for ((r = 0; r < $(reps_of small); r++)); do
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

# A selection dropped from a file manager: every file its own listed path.
section listed && echo "2,000 files listed one by one, and as one folder..." >&2
for ((r = 0; r < $(reps_of listed); r++)); do
    "$bench" --make-tree "$tree" 1 2000 16; sync
    mapfile -t each < <(find "$tree" -type f)
    timed listed_each "$bench" "${each[@]}"
    rm -rf "$tree"
    "$bench" --make-tree "$tree" 1 2000 16; sync
    timed listed_folder "$bench" "$tree"
    rm -rf "$tree"
done

# A loop image of file system $1 made by "$2", filled by "$5" if given,
# mounted by "$3" (the image, a loop device or its direct-I/O twin take the
# places of IMG and DEV) on $4.
mount_image() {
    local fs=$1 mkfs=$2 how=$3 point=$4 fill=${5:-} image="$scratch/$1.img" loop=""
    rm -f "$image"
    truncate -s 1G "$image"
    $mkfs "$image" >/dev/null 2>&1
    if [ -n "$fill" ]; then ${fill//IMG/$image} >/dev/null 2>&1 || return 1; fi
    mkdir -p "$point"
    if [[ $how == *DEV* ]]; then
        loop=$(losetup -f --show $([[ $how == *direct* ]] && echo --direct-io=on) "$image")
        loops+=("$loop")
    fi
    how=${how//--direct/}
    how=${how//IMG/$image}
    ${how//DEV/$loop} "$point" >/dev/null 2>&1
    for _ in $(seq 50); do mountpoint -q "$point" && break; sleep 0.1; done
    mounts+=("$point")
    mountpoint -q "$point"
}
drop_caches() { sync; echo 3 >/proc/sys/vm/drop_caches; }

# Old files: nothing of them in the page cache, on a loop device that reads
# past the host's cache too.
cold="$scratch/cold"
if section cold && [ -n "$root" ] && mount_image ext4 "mkfs.ext4 -q -F" "mount --direct DEV" "$cold"; then
    echo "10,000 old files on an ext4 image, caches dropped..." >&2
    for ((r = 0; r < reps; r++)); do
        "$bench" --make-tree "$cold/tree" 100 100 16; drop_caches
        timed cold_ours "$bench" "$cold/tree"
        rm -rf "$cold/tree"
        "$bench" --make-tree "$cold/tree" 100 100 16; drop_caches
        timed cold_rm bash -c "rm -rf '$cold/tree'; sync"
    done
fi

# User-space file systems: only each file's and folder's own flush reaches them.
for fs in exfat ntfs; do
    section fuse && [ -n "$root" ] || break
    point="$scratch/$fs"
    case $fs in
        exfat) mount_image exfat mkfs.exfat "mount.exfat-fuse DEV" "$point" || continue ;;
        ntfs) mount_image ntfs "mkfs.ntfs -q -F -Q" "ntfs-3g IMG" "$point" || continue ;;
    esac
    echo "2,000 files on $fs through FUSE..." >&2
    for ((r = 0; r < reps; r++)); do
        "$bench" --make-tree "$point/tree" 20 100 16; sync
        timed "fuse_ours_$fs" "$bench" "$point/tree"
        rm -rf "$point/tree"
        "$bench" --make-tree "$point/tree" 20 100 16; sync
        timed "fuse_rm_$fs" bash -c "rm -rf '$point/tree'; sync"
    done
done

# Old names overwritten in the folder: one folder of small files on XFS, and
# on FAT32 through fusefat (1,000 there: fusefat's own cost per entry grows
# with the folder, so that 10,000 take it hours with or without the fill).
# fusefat also creates them ever more slowly (1,000 take it more than ten
# minutes), so its tree is made here once and copied with mtools into a fresh
# image before every contender.
names_tree() { # FS POINT COUNT: a fresh tree of COUNT files at POINT/tree
    case $1 in
        xfs) "$bench" --make-tree "$2/tree" 1 "$3" 16; sync ;;
        fat)
            umount "$2" 2>/dev/null || true
            mount_image fat "mkfs.vfat -F 32" "fusefat -o rw+ IMG" "$2" \
                "mcopy -s -i IMG $scratch/fat-src/tree ::/" ;;
    esac
}
for fs in xfs fat; do
    section names && [ -n "$root" ] || break
    point="$scratch/names-$fs"
    case $fs in
        xfs) mount_image xfs "mkfs.xfs -q -f" "mount DEV" "$point" || continue; count=10000 ;;
        fat)
            command -v mcopy >/dev/null || { echo "FAT32 names rows left out: no mcopy (mtools)" >&2; continue; }
            count=1000
            mkdir -p "$scratch/fat-src"
            "$bench" --make-tree "$scratch/fat-src/tree" 1 "$count" 16 ;;
    esac
    echo "$count files in one folder on $fs, their names overwritten..." >&2
    for ((r = 0; r < reps; r++)); do
        names_tree "$fs" "$point" "$count" || continue
        timed "names_ours_$fs" "$bench" "$point/tree"
        rm -rf "$point/tree"
        names_tree "$fs" "$point" "$count" || continue
        timed "names_rm_$fs" bash -c "rm -rf '$point/tree'; sync"
    done
done

if section memory; then
    echo "Memory during a 2 GiB shred..." >&2
    make_big 2048
    cache_note="from the cache as it was"
    if [ -n "$root" ]; then
        echo 3 >/proc/sys/vm/drop_caches
        cache_note="from an empty cache"
    fi
    watch=$("$bench" "$big")
    rm -f "$big"

    echo "Memory (1,000,000 empty files, listed as a run lists them first)..." >&2
    "$bench" --make-tree "$tree" 1000 1000 0; sync
    peak_kib=$("$bench" --list "$tree" | field peak_rss_kib)
    rm -rf "$tree"
fi

mb=$((size_mib * 1048576 / 1000000))
echo
echo "| workload | passes | contender | median s | rate | flushes | ratio |"
echo "|---|---|---|---|---|---|---|"
for passes in 2 1; do
    section large || break
    dd_t=$(median "dd$passes")
    ddrm_t=$(echo "$dd_t + $(median "rm$passes")" | bc -l)
    for who in dd passes ours naive shred; do
        t=$(median "$who$passes")
        rate=$(echo "scale=0; $mb * $passes / $t" | bc -l)
        case $who in
            dd) label="dd (device limit)"; note="1.00 (reference)" ;;
            passes) label="vorn passes alone"; note="$(ratio "$dd_t" "$t") of dd (goal ≥ 1.0)" ;;
            ours) label="vorn engine, with rename and removal"
                note="$(ratio "$ddrm_t" "$t") of dd + rm (goal ≥ 1.0)" ;;
            naive) label="passes in 1 KiB write calls"; note="$(ratio "$dd_t" "$t") of dd" ;;
            shred) label="shred -u -n $((passes - 1)) -z"; note="vorn $(ratio "$t" "$(median "ours$passes")")x faster" ;;
        esac
        printf '| large file | %s | %s | %.2f | %s MB/s | %s | %s |\n' \
            "$passes" "$label" "$t" "$rate" "${flushes[$who$passes]:-}" "$note"
    done
done
section small && rm_t=$(median small_rm) &&
printf '| 10,000 small files | - | rm -rf + sync (floor) | %.2f | %s files/s | | 1.00 (reference) |\n' \
    "$rm_t" "$(echo "scale=0; 10000 / $rm_t" | bc -l)"
for passes in 2 1; do
    section small || break
    goal=$([ "$passes" = 2 ] && echo 1.5 || echo 1.4)
    ours_t=$(median "small_ours$passes")
    shred_t=$(median "small_shred$passes")
    n=${flushes[small_ours$passes]}
    printf '| 10,000 small files | %s | vorn engine | %.2f | %s files/s | %s (1 per %s files) | %sx rm -rf + sync (goal ≤ %s) |\n' \
        "$passes" "$ours_t" "$(echo "scale=0; 10000 / $ours_t" | bc -l)" "$n" "$((10000 / n))" \
        "$(ratio "$ours_t" "$rm_t")" "$goal"
    printf '| 10,000 small files | %s | shred -u -n %s -z | %.2f | %s files/s | | vorn %sx faster |\n' \
        "$passes" "$((passes - 1))" "$shred_t" "$(echo "scale=0; 10000 / $shred_t" | bc -l)" \
        "$(ratio "$shred_t" "$ours_t")"
done
if section listed; then
    each_t=$(median listed_each)
    folder_t=$(median listed_folder)
    printf '| 2,000 small files | 2 | vorn engine, one folder | %.2f | %s files/s | %s | 1.00 (reference) |\n' \
        "$folder_t" "$(echo "scale=0; 2000 / $folder_t" | bc -l)" "${flushes[listed_folder]}"
    printf '| 2,000 small files | 2 | vorn engine, listed one by one | %.2f | %s files/s | %s | %sx one folder (goal ≤ 1.1, same flushes) |\n' \
        "$each_t" "$(echo "scale=0; 2000 / $each_t" | bc -l)" "${flushes[listed_each]}" \
        "$(ratio "$each_t" "$folder_t")"
fi
if [ -n "${times[cold_ours]:-}" ]; then
    cold_rm_t=$(median cold_rm)
    cold_t=$(median cold_ours)
    printf '| 10,000 old files, ext4 image (direct I/O), caches dropped | - | rm -rf + sync (floor) | %.2f | %s files/s | | 1.00 (reference) |\n' \
        "$cold_rm_t" "$(echo "scale=0; 10000 / $cold_rm_t" | bc -l)"
    printf '| 10,000 old files, ext4 image (direct I/O), caches dropped | 2 | vorn engine | %.2f | %s files/s | %s | %sx rm -rf + sync (goal ≤ 3) |\n' \
        "$cold_t" "$(echo "scale=0; 10000 / $cold_t" | bc -l)" "${flushes[cold_ours]}" \
        "$(ratio "$cold_t" "$cold_rm_t")"
fi
for fs in exfat ntfs; do
    [ -n "${times[fuse_ours_$fs]:-}" ] || continue
    label=$([ "$fs" = exfat ] && echo "exfat-fuse" || echo "ntfs-3g")
    goal=$([ "$fs" = exfat ] && echo 6 || echo 12)
    fuse_rm_t=$(median "fuse_rm_$fs")
    fuse_t=$(median "fuse_ours_$fs")
    printf '| 2,000 small files, %s image | - | rm -rf + sync (floor) | %.2f | %s files/s | | 1.00 (reference) |\n' \
        "$label" "$fuse_rm_t" "$(echo "scale=0; 2000 / $fuse_rm_t" | bc -l)"
    printf '| 2,000 small files, %s image | 2 | vorn engine | %.2f | %s files/s | %s | %sx rm -rf + sync (goal ≤ %s) |\n' \
        "$label" "$fuse_t" "$(echo "scale=0; 2000 / $fuse_t" | bc -l)" "${flushes[fuse_ours_$fs]}" \
        "$(ratio "$fuse_t" "$fuse_rm_t")" "$goal"
done
for fs in xfs fat; do
    [ -n "${times[names_ours_$fs]:-}" ] || continue
    label=$([ "$fs" = xfs ] && echo "10,000 small files in one folder, XFS image" ||
        echo "1,000 small files in one folder, FAT32 image (fusefat)")
    names_rm_t=$(median "names_rm_$fs")
    names_t=$(median "names_ours_$fs")
    printf '| %s | - | rm -rf + sync (floor) | %.2f | | | 1.00 (reference) |\n' "$label" "$names_rm_t"
    printf '| %s | 2 | vorn engine, names overwritten | %.2f | | %s | %sx rm -rf + sync |\n' \
        "$label" "$names_t" "${flushes[names_ours_$fs]}" "$(ratio "$names_t" "$names_rm_t")"
done
if section memory; then
    printf '| 2 GiB file, memory | 2 | vorn engine | | dirty + write-back peak %s MiB above start | | goal ≤ 16 MiB |\n' \
        "$(mib "$(field dirty_peak_kib <<<"$watch")")"
    printf '| 2 GiB file, memory | 2 | vorn engine | | page-cache growth %s MiB, %s | | goal ≤ 320 MiB |\n' \
        "$(mib "$(field cache_peak_kib <<<"$watch")")" "$cache_note"
    printf '| 1,000,000 empty files, listed | - | vorn engine | | peak RSS %s MiB | | goal ≤ 80 MiB |\n' \
        "$(mib "$peak_kib")"
fi
