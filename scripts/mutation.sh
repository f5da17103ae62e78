#!/usr/bin/env bash
# How many small faults the suite catches: a seeded sample of source mutations
# (scripts/mutants.py) over src/text, storage, database, collector and library,
# each built and tested alone in a scratch copy of the tree, never this one.
#
#   scripts/mutation.sh [--size N] [--seed S] [--commit REV] [--scratch DIR] [--timeout SEC]
#
# A mutant is caught when a test of its library's suites fails (or times out),
# survives when they all pass; one that does not build counts as neither.
# Put the scratch folder under ccache's base_dir to reuse cached objects.
set -uo pipefail

size=150 seed=1 commit=HEAD timeout=300
repo="$(cd "$(dirname "$0")/.." && pwd)"
scratch="${TMPDIR:-/tmp}/quorrel-mutation"
while (($#)); do
    case "$1" in
        --size) size=$2 ;; --seed) seed=$2 ;; --commit) commit=$2 ;;
        --scratch) scratch=$2 ;; --timeout) timeout=$2 ;;
        *) echo "未知的参数：$1" >&2; exit 2 ;;
    esac
    shift 2
done

# The suites that test each library: its own folder's and those built on it
# (the editor reads documents through text; `quorrel --collect` is run whole).
declare -A targets=(
    [text]="tst_text tst_storage tst_editor"  [storage]="tst_storage tst_text tst_config"
    [database]="tst_database tst_library"  [collector]="tst_collector quorrel test_tool"
    [library]="tst_library")
declare -A suites=(
    [text]='^(text|storage|editor)\.'  [storage]='^(storage|text|config)\.'
    [database]='^(database|library)\.'  [collector]='^(collector\.|e2e\.collect$)'
    [library]='^library\.')

tree="$scratch/tree"
git -C "$repo" worktree remove --force "$tree" 2>/dev/null
rm -rf "$tree" && mkdir -p "$scratch"
git -C "$repo" worktree add -q --detach "$tree" "$commit" >/dev/null || exit 1
trap 'git -C "$repo" worktree remove --force "$tree"' EXIT
trap 'exit 1' INT TERM
build="$tree/build"
cmake -S "$tree" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DQUORREL_BUILD_TESTS=ON -DQUORREL_ACCESS_FIXTURES="$repo/../shared/fixtures/access" \
    >"$scratch/configure.log" || exit 1
export QT_QPA_PLATFORM=offscreen LC_ALL=C.UTF-8 LANG=C.UTF-8

# The unmutated tree must build; a test that fails even so is left out.
echo "$(date -u +%H:%M:%S) 构建并检查未改动的代码 ($(git -C "$tree" rev-parse --short HEAD))"
every=$(printf '%s\n' ${targets[*]} | sort -u)
cmake --build "$build" -j2 --target $every >"$scratch/build.log" 2>&1 || { echo "构建失败" >&2; exit 1; }
pattern=""
for lib in "${!suites[@]}"; do pattern+="${pattern:+|}${suites[$lib]}"; done
exclude='^$'
if ! ctest --test-dir "$build" -j2 -R "$pattern" --timeout "$timeout" >"$scratch/baseline.log" 2>&1; then
    failing=$(cut -d: -f2 "$build/Testing/Temporary/LastTestsFailed.log" | paste -sd'|')
    echo "未改动时已失败、不计入的测试：$failing"
    exclude="^($failing)\$"
fi

python3 "$repo/scripts/mutants.py" list "$tree" "$seed" "$size" >"$scratch/mutants.tsv"
caught=0 survived=0 broken=0 start=$SECONDS
survivors=() unbuilt=()
while IFS=$'\t' read -r -u 3 k file line kind change; do
    lib=${file#src/}; lib=${lib%%/*}
    python3 "$repo/scripts/mutants.py" apply "$tree" "$seed" "$size" "$k"
    t0=$SECONDS
    if ! cmake --build "$build" -j2 --target ${targets[$lib]} >"$scratch/last-build.log" 2>&1; then
        result="不能构建"; broken=$((broken + 1)); unbuilt+=("$file:$line $kind: $change")
    elif timeout $((timeout * 2)) ctest --test-dir "$build" -R "${suites[$lib]}" \
            -E "$exclude" -j2 \
            --timeout "$timeout" --stop-on-failure >"$scratch/last-test.log" 2>&1; then
        result="存活"; survived=$((survived + 1)); survivors+=("$file:$line $kind: $change")
    else
        result="捕获"; caught=$((caught + 1))
    fi
    git -C "$tree" checkout -q -- "$file"
    printf '%3d %s  %s:%s  %s: %s  (%ds)\n' "$k" "$result" "$file" "$line" "$kind" "$change" \
        $((SECONDS - t0))
done 3<"$scratch/mutants.tsv"

echo
echo "样本 $size 个（种子 $seed，提交 $(git -C "$tree" rev-parse --short HEAD)），用时 $(((SECONDS - start) / 60)) 分钟"
echo "捕获 $caught，存活 $survived，不能构建 $broken"
echo "存活的变异："
printf '  %s\n' "${survivors[@]}"
echo "不能构建的变异："
printf '  %s\n' "${unbuilt[@]}"
