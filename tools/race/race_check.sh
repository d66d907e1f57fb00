#!/bin/sh
# Races the pilot on a generated track and checks the outcome:
#   race_check.sh GR_RACE TRACK solo    one bike rides 3 laps and finishes
#   race_check.sh GR_RACE TRACK field   10 bikes from the gate ride 2 laps, 8 or more finish
# and in both that "@results.txt" (in a fresh home directory) agrees with the
# lines gr_race printed: the same finishers in the same order, with the same
# bike, laps, total time and best lap.
set -u
race=$1 track=$2 mode=$3
home=$(mktemp -d "${TMPDIR:-/tmp}/gr_race_check.XXXXXX") || exit 1
trap 'rm -rf "$home"' EXIT
export XDG_DATA_HOME="$home"

case $mode in
solo) laps=3 riders=1 need=1 ;;
field) laps=2 riders=10 need=8 ;;
*) echo "race_check: unknown mode '$mode'" >&2; exit 2 ;;
esac

out="$home/out.txt"
if ! "$race" --track "$track" --laps $laps --riders $riders >"$out"; then
    echo "race_check: gr_race failed on $track" >&2
    cat "$out" >&2
    exit 1
fi
cat "$out"

finished=$(grep -c '^slot .* finished 1 ' "$out")
if [ "$finished" -lt $need ]; then
    echo "race_check: $finished of $riders riders finished $laps laps on $track ($need needed)" >&2
    exit 1
fi

results="$home/Gravelrun/results.txt"
if [ ! -f "$results" ]; then
    echo "race_check: no results file written" >&2
    exit 1
fi
# Printed finishers, then the results file (CR LF lines), compared in awk.
grep '^slot .* finished 1 ' "$out" | tr -d '\r' >"$home/printed.txt"
tr -d '\r' <"$results" | awk -v laps=$laps -v track="$track" -v printed="$home/printed.txt" '
function secs(t,   p) { split(t, p, ":"); return p[1] * 60 + p[2] }
function near(a, b) { d = a - b; return d < 0.0015 && d > -0.0015 }
BEGIN {
    n = 0
    while ((getline line < printed) > 0) {
        split(line, f, " ")
        n++; bike[n] = f[4]; plaps[n] = f[6]; ptime[n] = f[10]; pbest[n] = f[12]
    }
    bad = 0
}
NR == 1 {
    if ($0 !~ "^Time=[0-9.]+\\|Laps=" laps "\\|Track=" track "\\|Date=[0-9]+$") { print "bad header: " $0; bad = 1 }
    split($0, h, /[=|]/)
    if (n > 0 && (h[2] - ptime[1] > 0.006 || ptime[1] - h[2] > 0.006)) { print "winner time " h[2] " vs " ptime[1]; bad = 1 }
    next
}
NR == 2 { next }
/^ *[0-9]+ \|/ {
    rows++
    split($0, c, /[ ]*\|[ ]*/)
    if (rows > n) { print "extra row: " $0; bad = 1; next }
    if (c[2] != bike[rows] || c[3] != plaps[rows] || !near(secs(c[4]), ptime[rows]) || !near(secs(c[6]), pbest[rows])) {
        print "row " rows " (" $0 ") disagrees with: " bike[rows] " laps " plaps[rows] " time " ptime[rows] " best " pbest[rows]
        bad = 1
    }
}
END {
    if (rows != n) { print "results list " rows " finishers, gr_race printed " n; bad = 1 }
    exit bad
}' || { echo "race_check: results file and printed lines disagree" >&2; exit 1; }
echo "race_check: $track $mode: $finished of $riders finished, results agree"
