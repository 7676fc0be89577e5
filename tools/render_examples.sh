#!/bin/sh
# Writes the page of the example logs with the given report program and
# renders it to OUT_DIR/report.png.
#
#   render_examples.sh REPORT SOURCE_DIR OUT_DIR
set -eu
report=$1
source=$2
out=$3
mkdir -p "$out"
"$report" --html "$out/report.html" "$source/examples/logs/desktop" \
    "$source/examples/logs/laptop" >/dev/null
"$source/tools/render_page.sh" "$out/report.html" "$out/report.png"
