#!/usr/bin/env bash
# vorkel-cli.exe under wine against the virtual sensor on COM5: the sensor's versions,
# configuration and level come back as one JSON object with status 0, and a command it does not
# know is a usage error (status 2) that sends nothing.
#   cli_under_wine.sh <tools/windows-wine> <vorkel-sensor-sim>
set -uo pipefail
wine_script=$1
sensor=$2

out=$("$wine_script" console --sensor "$sensor" vorkel-cli -p COM5 info --json)
status=$?
if [[ $status == 77 ]]; then
  echo "$out"
  exit 77
fi
echo "$out"
[[ $status == 0 ]] || { echo "FAILED: info exited with $status" >&2; exit 1; }
# One JSON object for the port, with the version and a level reading in it.
[[ $(grep -c '^{' <<<"$out") == 1 ]] || { echo "FAILED: not one JSON object" >&2; exit 1; }
for field in '"port": *"COM5"' '"program": *"[0-9]' '"raw": *[0-9]'; do
  grep -Eq "$field" <<<"$out" || { echo "FAILED: no $field in the output" >&2; exit 1; }
done

"$wine_script" console vorkel-cli frobnicate >/dev/null 2>&1
status=$?
[[ $status == 2 ]] || { echo "FAILED: an unknown command exited with $status, not 2" >&2; exit 1; }
echo "vorkel-cli.exe under wine: info and a usage error as on Linux"
