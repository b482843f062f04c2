#!/usr/bin/env bash
# Makes the built-in sample disk: a 64 MiB image with one primary NTFS
# partition and an extended partition holding three logical drives.
# Usage: make-sample-disk.sh IMAGE
set -euo pipefail
image=$1
rm -f "$image"
truncate -s 64M "$image"
sfdisk --quiet "$image" <<'TABLE'
label: dos
unit: sectors

start=2048, size=40960, type=7
start=43008, type=5
size=20480, type=7
size=20480, type=83
type=b
TABLE
