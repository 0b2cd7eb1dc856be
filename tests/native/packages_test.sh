#!/usr/bin/env bash
# tools/packages on a mirror mid-sync, apt-get, dpkg and sudo replaced by stand-ins on PATH. A case:
# the update's exit code, whether the plain and the -t install fail; the result, apt-get's calls, a text.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin"
printf '%s\n' '#!/usr/bin/env bash' 'echo "apt-get $*" >>"$work/calls"' '[ "$1" = update ] && exit "$update_exit"' \
  'case " $* " in *" -t "*) fails=$fails_with_t ;; *) fails=$fails_plain ;; esac' \
  '[ "$fails" = 0 ] || { echo "E: Unable to locate package nsis"; exit 100; }' >"$work/bin/apt-get"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query" # nothing is installed
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
failures=0
while IFS='|' read -r update_exit fails_plain fails_with_t result calls said; do
  export update_exit fails_plain fails_with_t
  : >"$work/calls"
  (PATH="$work/bin:$PATH"; . "$root/tools/packages"; install_packages) >"$work/out" 2>&1
  got=$?
  actual=$(tr '\n' ';' <"$work/calls" | sed "s/ -y -qq//g; s/ cmake [^;]*//g; s/ $codename/ CODENAME/g")
  if [ "$got" != "$result" ] || [ "$actual" != "$calls" ] || ! grep -qF "$said" "$work/out"; then
    echo "FAIL: case $update_exit|$fails_plain|$fails_with_t: exit $got, calls '$actual'" && cat "$work/out"
    failures=$((failures + 1))
  fi
done <<'CASES'
100|0|0|0|apt-get update -qq;apt-get install;|could not fetch every index
0|1|0|0|apt-get update -qq;apt-get install;apt-get install -t CODENAME;|trying again from
100|1|1|1|apt-get update -qq;apt-get install;apt-get install -t CODENAME;|E: Unable to locate package nsis
CASES
exit $((failures > 0))
