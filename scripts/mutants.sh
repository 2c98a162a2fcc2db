#!/bin/bash
# Planted faults: proves that the test suite catches the faults it exists for.
#
# Every scripts/mutants/NN-area-name.patch is one small deliberate fault in the
# code (never in tests/), headed by a "Fault:" sentence and a "Labels:" line
# (the ctest labels whose tests should catch it). One at a time, this script
# applies a patch, builds incrementally, runs the tests of those labels and
# reverts the patch, whatever happens. Output, one line per patch:
#   caught  NAME  by TEST[, TEST...]   the tests that failed (a timeout counts)
#   MISSED  NAME                       every test passed: a gap in the suite
#   STALE   NAME                       the patch no longer applies: rewrite it
#   BROKEN  NAME                       the mutant does not build: rewrite it
# then the totals. It exits 0 only when every selected patch was caught.
# Logs of each build and test run are kept in BUILD_DIR/mutants/.
# A developer's tool: slow (minutes per patch), not part of the test command.
set -u

usage() {
    cat <<EOF
usage: $0 [-b BUILD_DIR] [PATTERN...]
Applies each planted fault in scripts/mutants/ whose file name or Labels: line
matches a PATTERN (grep -E; all when none), builds BUILD_DIR (default: build)
and runs the labelled tests; reports caught, MISSED, STALE or BROKEN.
EOF
}

build=build
while getopts b:h opt; do
    case $opt in
    b) build=$OPTARG ;;
    h) usage; exit 0 ;;
    *) usage >&2; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

cd "$(dirname "$0")/.." || exit 2
if [ ! -f "$build/CMakeCache.txt" ]; then
    echo "$build is not a configured build folder" >&2
    exit 2
fi

# The patches selected by the patterns.
selected=()
for patch in scripts/mutants/*.patch; do
    name=$(basename "$patch" .patch)
    labels=$(sed -n 's/^Labels: *//p' "$patch" | head -1)
    if [ $# -eq 0 ]; then
        selected+=("$patch")
        continue
    fi
    for pattern in "$@"; do
        if printf '%s\n%s\n' "$name" "$labels" | grep -Eq -- "$pattern"; then
            selected+=("$patch")
            break
        fi
    done
done
if [ ${#selected[@]} -eq 0 ]; then
    echo "no patch matches: $*" >&2
    exit 2
fi

# A patch is reverted with git apply -R: a file that already differs from the
# last commit could come back wrong, or be taken into someone's commit with
# the fault in it. Refuse to start rather than risk either.
touched() { sed -n 's|^diff --git a/\([^ ]*\) b/.*|\1|p' "$1"; }
dirty=$(for patch in "${selected[@]}"; do touched "$patch"; done | sort -u |
    while read -r file; do
        git diff --quiet HEAD -- "$file" || echo "$file"
    done)
if [ -n "$dirty" ]; then
    echo "uncommitted changes in files the patches touch; commit them first:" >&2
    echo "$dirty" >&2
    exit 2
fi

# Whatever happens (an error, Ctrl+C), the tree is left without the fault.
applied=
revert() {
    if [ -n "$applied" ]; then
        if ! git apply -R "$applied"; then
            echo "COULD NOT REVERT $applied: the tree still holds its fault" >&2
            exit 3
        fi
        applied=
    fi
}
trap 'revert' EXIT
trap 'revert; exit 130' INT TERM

logs=$build/mutants
mkdir -p "$logs"
caught=0 missed=0 stale=0 broken=0
for patch in "${selected[@]}"; do
    name=$(basename "$patch" .patch)
    labels=$(sed -n 's/^Labels: *//p' "$patch" | head -1)
    log=$logs/$name.log
    if ! git apply "$patch" 2>"$log"; then
        echo "STALE   $name"
        stale=$((stale + 1))
        continue
    fi
    applied=$patch
    if ! cmake --build "$build" >>"$log" 2>&1; then
        echo "BROKEN  $name"
        broken=$((broken + 1))
        revert
        continue
    fi
    if ctest --test-dir "$build" -L "$labels" --timeout 300 -j2 >>"$log" 2>&1; then
        echo "MISSED  $name"
        missed=$((missed + 1))
    else
        # ctest's summary lists each failure as "  12 - Suite.Case (Failed)".
        failed=$(sed -n '/tests FAILED:/,$s/^[[:space:]]*[0-9]* - \([^ ]*\) (.*/\1/p' "$log" |
            paste -sd, - | sed 's/,/, /g')
        echo "caught  $name  by ${failed:-ctest (see $log)}"
        caught=$((caught + 1))
    fi
    revert
done

summary="$caught caught, $missed missed"
[ $stale -gt 0 ] && summary="$summary, $stale stale"
[ $broken -gt 0 ] && summary="$summary, $broken broken"
echo "$summary"

# The build folder is made to match the clean sources again.
if ! cmake --build "$build" >"$logs/rebuild.log" 2>&1; then
    echo "the clean tree does not build: see $logs/rebuild.log" >&2
    exit 1
fi
[ $caught -eq ${#selected[@]} ]
