#!/usr/bin/env bash
# tools/packages on a mirror mid-sync, apt-get, dpkg and sudo replaced by stand-ins on PATH. A case:
# how many updates and plain installs fail before one succeeds, whether the -t install fails; the
# result, apt-get's calls (L: waits for the dpkg lock, P: the whole package list), a text, logs kept.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
export work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/tmp"
printf '%s\n' '#!/usr/bin/env bash' 'echo "apt-get $*" >>"$work/calls"' \
  'count() { n=$(($(cat "$work/$1" 2>/dev/null || echo 0) + 1)); echo $n >"$work/$1"; [ $n -gt "$2" ]; }' \
  'case " $* " in *" update "*) count updates "$update_fails" || exit 100 ;;' \
  '  *" -t "*) [ "$t_fails" = 0 ] || { echo "E: Unable to locate package nsis"; exit 100; } ;;' \
  '  *) count installs "$plain_fails" || { echo "E: Unable to locate package nsis"; exit 100; } ;; esac' \
  >"$work/bin/apt-get"
printf '#!/bin/sh\nexit 1\n' >"$work/bin/dpkg-query" # nothing is installed
printf '#!/bin/sh\necho i386\n' >"$work/bin/dpkg"
printf '#!/bin/sh\nexec "$@"\n' >"$work/bin/sudo"
chmod +x "$work/bin"/*
codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
list=$(. "$root/tools/packages"; echo "${kelvane_packages[*]}")
failures=0
while IFS='|' read -r update_fails plain_fails t_fails result calls said logs; do
  export update_fails plain_fails t_fails
  rm -rf "$work/calls" "$work/updates" "$work/installs" "$work/tmp"/*
  (PATH="$work/bin:$PATH" TMPDIR="$work/tmp" KELVANE_APT_PAUSE=0; . "$root/tools/packages"; install_packages) \
    >"$work/out" 2>&1
  got=$?
  actual=$(tr '\n' ';' <"$work/calls" | sed "s/ -o DPkg::Lock::Timeout=600/ L/g; s/ -y -qq//g; s/ $list/ P/g; s/ $codename / CODENAME /g")
  kept=$(find "$work/tmp" -name '*.log' | wc -l)
  if [ "$got" != "$result" ] || [ "$actual" != "$calls" ] || ! grep -qF "$said" "$work/out" || [ "$kept" != "$logs" ]; then
    echo "FAIL: case $update_fails|$plain_fails|$t_fails: exit $got, calls '$actual', $kept logs" && cat "$work/out"
    failures=$((failures + 1))
  fi
done <<'CASES'
0|0|0|0|apt-get L update -qq;apt-get L install P;|Installing: |0
2|0|0|0|apt-get L update -qq;apt-get L update -qq;apt-get L update -qq;apt-get L install P;|(try 2,|0
0|1|0|0|apt-get L update -qq;apt-get L install P;apt-get L update -qq;apt-get L install P;|(try 1,|0
9|2|0|0|apt-get L update -qq;apt-get L update -qq;apt-get L update -qq;apt-get L install P;apt-get L update -qq;apt-get L update -qq;apt-get L update -qq;apt-get L install P;apt-get L install -t CODENAME P;|Trying again from|0
9|2|1|1|apt-get L update -qq;apt-get L update -qq;apt-get L update -qq;apt-get L install P;apt-get L update -qq;apt-get L update -qq;apt-get L update -qq;apt-get L install P;apt-get L install -t CODENAME P;|E: Unable to locate package nsis|9
CASES
exit $((failures > 0))
