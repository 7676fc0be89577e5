#!/bin/sh
# The shell script that logs several clients into one log, on copies of the
# example client directory.
#
#   log_work_units_test.sh SOURCE_DIR WUTALLY
set -u
source=$1
WUTALLY=$2
export WUTALLY
script=$source/examples/log-work-units.sh
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

check() { # what, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: expected [$2], got [$3]" >&2
        failures=$((failures + 1))
    fi
}

cd "$scratch" || exit 1
mkdir logs
for client in one two; do
    cp -R "$source/examples/client" "$client"
    sed "s/^name=.*/name=unit.$client/" "$source/examples/client/result.txt" >"$client/result.txt"
done
rows() { grep -c '^"20' logs/WUTally.csv; }

# A relative program and a relative log directory, as a user types them
# from where the program was built.
mkdir bin
cp "$WUTALLY" bin/wutally
WUTALLY=bin/wutally sh "$script" logs one two >out 2>err
check "both saved: status" 0 $?
check "both saved: rows" 2 "$(rows)"
check "both saved: messages" "" "$(cat err)"
check "both saved: lines" 4 "$(wc -l <out | tr -d ' ')"
check "both saved: path lines" "one: WUTally: Path to WUTally.csv set to: $scratch/logs/
two: WUTally: Path to WUTally.csv set to: $scratch/logs/" "$(grep 'Path to' out)"
check "both saved: each line whole behind its client" 2 \
    "$(grep -c '^\(one\|two\): WUTally: work unit saved successfully on .*'"$(printf '\r')"'$' out)"

sh "$script" "$scratch/logs" one >out 2>err
check "already logged is no error: status" 0 $?
check "already logged: rows" 2 "$(rows)"
check "already logged: line" 1 "$(grep -c '^one: WUTally: Work Unit unit.one has already been logged.$' out)"

sh "$script" logs missing one >out 2>err
check "missing client: status" 1 $?
check "missing client: message" "log-work-units: missing: no such client directory" "$(cat err)"

sh "$script" new/logs one >out 2>err
check "log directory made: status" 0 $?
check "log directory made: rows" 1 "$(grep -c '^"20' new/logs/WUTally.csv)"

touch plain
sh "$script" plain/logs one >out 2>err
check "log directory that cannot be made: status" 1 $?
check "log directory that cannot be made: message" \
    "log-work-units: cannot make the log directory $scratch/plain/logs" "$(cat err)"

sh "$script" "farm/{host}" one two >out 2>err
check "a log per machine: status" 0 $?
check "a log per machine: rows" 2 "$(grep -c '^"20' "farm/$(uname -n)/WUTally.csv")"
check "a log per machine: messages" "" "$(cat err)"
if [ -s /etc/machine-id ]; then
    echo "the id of another machine" >"farm/$(uname -n)/.wutally-machine"
    sh "$script" "farm/{host}" one >out 2>err
    check "a second machine of one name: status" 0 $?
    check "a second machine of one name: message" \
        "log-work-units: another machine named $(uname -n) logs into $scratch/farm/$(uname -n) too; give each machine a name of its own" \
        "$(cat err)"
fi

sh "$script" logs >out 2>err
check "usage: status" 2 $?

exit $((failures > 0))
