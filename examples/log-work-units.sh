#!/bin/sh
# Logs the finished work unit of each client directory into one log.
#
#   sh log-work-units.sh LOG_DIRECTORY CLIENT_DIRECTORY...
#
# Call it after a client has finished its work unit and before the unit is
# sent back: from the loop that runs the client one work unit at a time, or
# from the client's own hook for a finished unit. Every client writes into
# LOG_DIRECTORY/WUTally.csv; runs at the same moment wait for one another.
# The log directory is made if it is missing. "{host}" in it stands for
# this machine's name, so that one line serves every machine of a farm that
# keeps a log per machine: sh log-work-units.sh /srv/logs/{host} ~/client
# (and the script says so where two machines share a name).
#
# Each line the program prints is passed on behind the client directory
# ("client1: WUTally: work unit saved successfully on ..."). A work unit
# that is already logged is no error. Any other failure is reported on
# standard error, the other clients are still logged, and the script exits
# with status 1. WUTALLY names the program if it is not on the PATH.
program=${WUTALLY:-wutally}

if [ $# -lt 2 ]; then
    echo "usage: log-work-units.sh LOG_DIRECTORY CLIENT_DIRECTORY..." >&2
    exit 2
fi
# The program runs in each client's directory, so relative paths are made
# absolute first. A program named without a directory is looked up on the
# PATH.
absolute() {
    case $1 in
    /*) printf '%s\n' "$1" ;;
    *) printf '%s\n' "$(pwd)/$1" ;;
    esac
}
case $program in
*/*) program=$(absolute "$program") ;;
esac
host=$(uname -n)
given=$1
log_directory=$(absolute "$given" | sed "s/{host}/$host/g")
shift
if ! mkdir -p "$log_directory" 2>/dev/null; then
    echo "log-work-units: cannot make the log directory $log_directory" >&2
    exit 1
fi
# With {host}, a folder per machine: a second machine of the same name (one
# made from the same disk image, say) would share it unawares. The folder
# keeps the machine id of the first machine that logged into it.
case $given in
*'{host}'*)
    id=$(cat /etc/machine-id 2>/dev/null)
    mark=$log_directory/.wutally-machine
    if [ -z "$id" ]; then
        :
    elif [ ! -s "$mark" ]; then
        printf '%s\n' "$id" >"$mark" 2>/dev/null
    elif [ "$(cat "$mark")" != "$id" ]; then
        echo "log-work-units: another machine named $host logs into $log_directory too; give each machine a name of its own" >&2
    fi
    ;;
esac

status=0
for client in "$@"; do
    if ! cd "$client" 2>/dev/null; then
        echo "log-work-units: $client: no such client directory" >&2
        status=1
        continue
    fi
    output=$(mktemp)
    "$program" "/P$log_directory" >"$output" 2>&1
    code=$?
    prefix="$client: " awk '{ print ENVIRON["prefix"] $0 }' "$output"
    rm -f "$output"
    cd - >/dev/null || exit 1
    case $code in
    0 | 2) ;; # saved, or already logged
    *)
        echo "log-work-units: $client: wutally failed with exit status $code" >&2
        status=1
        ;;
    esac
done
exit $status
