#!/usr/bin/env bash
# Makes an empty formatted 1.44 MB floppy image.
# Usage: make-floppy.sh IMAGE
set -euo pipefail
rm -f "$1"
mformat -C -f 1440 -v CORVANE -i "$1" ::
