#!/usr/bin/env bash
# Validates the desktop entry and the AppStream metainfo with the tools that software centres
# and lintian rely on.
set -euo pipefail
desktop_entry=$1
metainfo=$2

for tool in desktop-file-validate appstreamcli; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (tools/install-deps --test installs it)"
    exit 77
  fi
done

# desktop-file-validate reports hints and warnings on stdout and exits 0 with them: any output
# is a finding.
findings=$(desktop-file-validate "$desktop_entry")
if [[ -n "$findings" ]]; then
  echo "$findings"
  exit 1
fi
appstreamcli validate --no-net "$metainfo"
