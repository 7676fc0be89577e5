#!/bin/sh
# The batch file that logs several clients into one log, under Wine, on
# copies of the example client directory.
#
#   log_work_units_bat_test.sh SOURCE_DIR WUTALLY_EXE WINE...
set -u
source=$1
program=$2
shift 2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
failures=0

check() { # what, expected, actual
    if [ "$2" != "$3" ]; then
        echo "FAILED: $1: expected [$2], got [$3]" >&2
        failures=$((failures + 1))
    fi
}

# Runs the batch file in the scratch directory with cmd under Wine; its
# output, less carriage returns, in out, and the status it exits with.
batch() {
    "$@" cmd /c log-work-units.bat $arguments >out.crlf 2>err.crlf </dev/null
    code=$?
    tr -d '\r' <out.crlf >out
    tr -d '\r' <err.crlf >err
    return $code
}

cd "$scratch" || exit 1
cp "$source/examples/log-work-units.bat" .
mkdir logs bin
cp "$program" bin/wutally.exe
for client in one two; do
    cp -R "$source/examples/client" "$client"
    sed "s/^name=.*/name=unit.$client/" "$source/examples/client/result.txt" >"$client/result.txt"
done
rows() { grep -c '^"20' logs/WUTally.csv; }

# A relative program and a relative log directory.
export WUTALLY='bin\wutally.exe'
arguments="logs one two" batch "$@"
check "both saved: status" 0 $?
check "both saved: rows" 2 "$(rows)"
check "both saved: messages" "" "$(cat err)"
check "both saved: each line behind its client" 2 \
    "$(grep -c '^\(one\|two\): WUTally: work unit saved successfully on ' out)"
check "both saved: path lines" 2 "$(grep -c '^\(one\|two\): WUTally: Path to WUTally.csv set to: .*\\logs\\$' out)"

arguments="logs one" batch "$@"
check "already logged is no error: status" 0 $?
check "already logged: rows" 2 "$(rows)"
check "already logged: line" 1 "$(grep -c '^one: WUTally: Work Unit unit.one has already been logged.$' out)"

arguments="logs missing one" batch "$@"
check "missing client: status" 1 $?
check "missing client: message" "log-work-units: missing: no such client directory" "$(cat err)"

arguments="new\\logs one" batch "$@"
check "log directory made: status" 0 $?
check "log directory made: rows" 1 "$(grep -c '^"20' new/logs/WUTally.csv)"

arguments="farm\\{host} one" batch "$@"
check "a log per computer: status" 0 $?
check "a log per computer: one folder named for it" 1 "$(ls farm | grep -vc '[{}]')"
check "a log per computer: messages" "" "$(cat err)"
computer=$(ls farm)
echo "the id of another computer" >"farm/$computer/.wutally-machine"
arguments="farm\\{host} two" batch "$@"
check "a second computer of one name: status" 0 $?
check "a second computer of one name: message" \
    "log-work-units: another computer named $computer logs into $(sed -n 's/^two: WUTally: Path to WUTally.csv set to: \(.*\)\\$/\1/p' out) too; give each computer a name of its own" \
    "$(cat err)"

arguments="logs" batch "$@"
check "usage: status" 2 $?

exit $((failures > 0))
