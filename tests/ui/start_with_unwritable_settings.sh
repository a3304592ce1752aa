#!/usr/bin/env bash
# The bench program started where Options.ini cannot be written (a directory stands in its place)
# must not abort: it shows the settings error and goes on. Passes when the program is still
# running after a few seconds; it is then stopped.
#   start_with_unwritable_settings.sh PROGRAM
set -uo pipefail
program="$1"
dir="$(mktemp -d /tmp/vantrel-start-XXXXXX)"
trap 'rm -rf "$dir"' EXIT
mkdir "$dir/Options.ini"
cd "$dir"
QT_QPA_PLATFORM=offscreen timeout 4 "$program" >"$dir/output" 2>&1
status=$?
if [[ $status -ne 124 ]]; then
    cat "$dir/output" >&2
    echo "the bench ended with status $status instead of running on" >&2
    exit 1
fi
