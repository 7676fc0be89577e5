#!/bin/sh
# Logs the finished work unit of each client directory into one log.
#
#   sh log-work-units.sh LOG_DIRECTORY CLIENT_DIRECTORY...
#
# Call it after a client has finished its work unit and before the unit is
# sent back: from the loop that runs the client one work unit at a time, or
# from the client's own hook for a finished unit. Every client writes into
# LOG_DIRECTORY/WUTally.csv; runs at the same moment wait for one another.
#
# A work unit that is already logged is no error. Any other failure is
# reported on standard error, the other clients are still logged, and the
# script exits with status 1. WUTALLY names the program if it is not on the
# PATH.
program=${WUTALLY:-wutally}

if [ $# -lt 2 ]; then
    echo "usage: log-work-units.sh LOG_DIRECTORY CLIENT_DIRECTORY..." >&2
    exit 2
fi
case $1 in
/*) log_directory=$1 ;;
*) log_directory=$(pwd)/$1 ;; # the program runs in each client's directory
esac
shift

status=0
for client in "$@"; do
    if ! cd "$client" 2>/dev/null; then
        echo "log-work-units: $client: no such client directory" >&2
        status=1
        continue
    fi
    "$program" "/P$log_directory"
    code=$?
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
