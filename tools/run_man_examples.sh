#!/bin/sh
# Runs the commands of a manual page's EXAMPLES section, the lines that
# start with "$ ", in one shell, as a reader types them on an installed
# system. Fails if a command is not found or fails with a status other than
# 0, or 2 (a work unit already logged).
#
#   run_man_examples.sh PAGE...
set -u
for page in "$@"; do
    echo "== $page"
    sed -n '/^\.SH EXAMPLES/,/^\.SH /p' "$page" | sed -n 's/^\$ //p' | sed 's/\\-/-/g' |
        while IFS= read -r command; do
            printf 'printf "%%s\\n" %s\n' "'\$ $(printf '%s' "$command" | sed "s/'/'\\\\''/g")'"
            printf '%s\n' "$command"
            # Keeps the status for a following "echo \$?".
            printf 'status=$?; case $status in 0 | 2) ;; *) echo "failed with status $status" >&2; exit 1 ;; esac; (exit $status)\n'
        done >"${TMPDIR:-/tmp}/man-examples.sh"
    sh "${TMPDIR:-/tmp}/man-examples.sh" || {
        echo "$page: an example failed" >&2
        exit 1
    }
done
