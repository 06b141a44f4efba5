#!/bin/sh
# Runs a test program on a virtual X display of its own; skipped (77) where Xvfb is missing.
command -v xvfb-run >/dev/null 2>&1 || { echo "xvfb-run is not installed: skipped"; exit 77; }
exec xvfb-run -a -s "-screen 0 1280x1024x24" "$@"
