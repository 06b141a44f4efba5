#!/usr/bin/env bash
# Checks the package's desktop files with the tools the desktop uses: the menu entry, the
# software centre data and the manual pages must pass without errors or warnings.
#   package_files_test.sh PACKAGING_DIR      (exits 77 = skipped when a checker is missing)
set -euo pipefail

dir=$1
for tool in desktop-file-validate appstreamcli man; do
  command -v "$tool" >/dev/null || { echo "skipped: $tool is missing"; exit 77; }
done

desktop-file-validate "$dir"/*.desktop
appstreamcli validate --no-net "$dir"/*.metainfo.xml

status=0
for page in "$dir"/man/*.1; do
  warnings=$(LC_ALL=C.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "FAILED: $page: $warnings" >&2
    status=1
  fi
done
exit $status
