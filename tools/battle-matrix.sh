#!/bin/sh
# Plays the 72 eight-robot battles, the team and the fleet battle headless on
# one core and prints, per battle, its last hash line and its processor-time
# multiples of real time (whole run, slowest 600 frames).
# usage: tools/battle-matrix.sh [runner] [core] [hash-file]
# The hash file gets every battle's full hash output, to compare two trees.
run=${1:-build/tests/quillon_battlerun}
core=${2:-7}
hashes=${3:-/dev/null}
: > "$hashes"
levels=10,7,4,1,9,6,3,8
err=$(mktemp)
trap 'rm -f "$err"' EXIT
play() {
    name=$1; shift
    out=$(taskset -c "$core" "$run" "$@" 2>"$err") || { echo "$name FAILED"; return; }
    echo "== $name" >> "$hashes"
    echo "$out" | grep '^frame ' >> "$hashes"
    last=$(echo "$out" | grep '^frame ' | tail -n 1)
    speed=$(cat "$err" | sed -n 's/^processor time: \([0-9.]*\) x real time, slowest 600 frames \([0-9.]*\) x.*/\1 \2/p')
    printf '%-44s %s | %s\n' "$name" "$speed" "$last"
}
for stage in 0 1 2 3 4 5 6 7 8; do
    for types in 0,1,2,3,4,5,6,7 8,9,10,11,12,13,14,15 14,15,16,17,18,19,20,21 21,3,17,0,9,12,6,19; do
        for seed in 1 21; do
            play "s$stage t$types r$seed" --stage "$stage" --types "$types" \
                --levels "$levels" --seed "$seed" --frames 7200
        done
    done
done
play team --mode team
play fleet --mode fleet
