#!/bin/sh
# Renders a page to a PNG with headless Chromium, as a reader's browser would
# show it on a laptop screen.
#
#   render_page.sh PAGE.html OUT.png [WIDTH HEIGHT]
set -eu
page=$(realpath "$1")
out=$(realpath -m "$2")
width=${3:-1280}
height=${4:-1900}
profile=$(mktemp -d)
trap 'rm -rf "$profile"' EXIT
# The flags keep a headless run from reaching for the network or a desktop.
chromium --headless --no-sandbox --disable-gpu --disable-quic --no-first-run \
    --disable-background-networking --disable-component-update --disable-sync \
    --hide-scrollbars --user-data-dir="$profile" --window-size="$width,$height" \
    --screenshot="$out" "file://$page" >"$profile/log" 2>&1 || {
    cat "$profile/log" >&2
    exit 1
}
test -s "$out"
