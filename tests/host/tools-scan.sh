#!/usr/bin/env bash
# tools/scan as a user runs it, in the build tree's own scan prefix (made by
# the first run here, which also checks the set-up and the build): a second
# run starts without a message, and leaves a scan running beside it alone; a file under Z: is shown by its Linux path
# and under the name typed, a symbolic link not resolved; a FIFO given as a
# path is said to be no file, and the other paths are still scanned; a
# threat whose name has a case twin is not quarantined.
#   tools-scan.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
source=$1 build=$2
work=$(mktemp -d "$build/tools-scan.XXXXXX")
trap 'rm -rf "$work"' EXIT
export KIVO_BUILD_DIR=$build
scan=$source/tools/scan

"$scan" --help >"$work/out" 2>"$work/err" || { echo "the first tools/scan --help failed"; cat "$work/err"; exit 1; }
"$scan" --help >"$work/out" 2>"$work/err"
rc=$?
status=0
[ $rc -eq 0 ] || { echo "the second tools/scan --help: exit $rc"; status=1; }
if grep -q '^tools/scan:' "$work/err"; then echo "the second run set up again:"; cat "$work/err"; status=1; fi

mkdir -p "$work/real"
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-' 'ANTIVIRUS-TEST-FILE!$H+H*' >"$work/real/eicar.com"
# Names the Windows side cannot spell are found but not read: never clean.
printf '%s%s' 'X5O!P%@AP[4\PZX54(P^)7CC)7}$EICAR-STANDARD-' 'ANTIVIRUS-TEST-FILE!$H+H*' >"$work/real/q?x.com"
# So are two names that differ only in case: Windows opens one by either.
printf 'MZ one' >"$work/real/Twin.exe"
printf 'MZ two' >"$work/real/twin.exe"
ln -s real "$work/alias"
# A file typed at a path longer than Windows takes: said so, never cut short.
deep=$work/$(printf 'd%.0s' $(seq 150))/$(printf 'e%.0s' $(seq 150))
mkdir -p "$deep" && cp "$work/real/eicar.com" "$deep/eicar.com"
mkfifo "$work/pipe"
"$scan" "$work/pipe" "$work/alias" "$deep/eicar.com" >"$work/out" 2>"$work/err"
rc=$?
[ $rc -eq 1 ] || { echo "exit code $rc, expected 1 (a threat)"; status=1; }
grep -qF "$work/alias/eicar.com: Eicar-Test-Signature FOUND" "$work/out" ||
  { echo "the threat is not shown by the Linux path typed:"; cat "$work/out"; status=1; }
grep -qF 'q?x.com: not scanned (cannot read: name not representable)' "$work/out" ||
  { echo "the name Windows cannot spell is not said to be unread:"; cat "$work/out"; status=1; }
grep -q 'twin.exe: not reliably scanned' "$work/err" ||
  { echo "names that differ only in case are not said to be unreliable:"; cat "$work/err"; status=1; }
grep -qF "eeeee/eicar.com: not scanned (path too long)" "$work/out" ||
  { echo "a typed long path is not said to be too long:"; cat "$work/out" "$work/err"; status=1; }
grep -q 'pipe: not a file or folder' "$work/err" || { echo "the FIFO is not said to be no file:"; cat "$work/err"; status=1; }

# Two threats whose names differ only in case: neither is quarantined, since
# Windows could move the other one; both stay, and the user hears why.
mkdir -p "$work/twins"
cp "$work/real/eicar.com" "$work/twins/Evil.com"
cp "$work/real/eicar.com" "$work/twins/evil.com"
"$scan" --quarantine "$work/twins" >"$work/out" 2>"$work/err"
rc=$?
[ $rc -eq 1 ] && [ -f "$work/twins/Evil.com" ] && [ -f "$work/twins/evil.com" ] &&
  grep -q 'vil.com: not quarantined (its folder holds a name that differs only in letter case)' "$work/err" ||
  { echo "a threat with a case twin was quarantined (exit $rc):"; ls "$work/twins"; cat "$work/out" "$work/err"; status=1; }

# A scan made slow by the engine's controls, and tools/scan --help while it runs.
controls=$build/wine/scan/drive_c/KivoScan/Quentor.ini
mkdir -p "$work/slow"
for i in 1 2 3 4 5 6 7 8; do cp "$work/real/eicar.com" "$work/slow/f$i.com"; done
printf 'DelayMs=400\n' >"$controls"
"$scan" "$work/slow" >"$work/slow.out" 2>&1 &
first=$!
for _ in $(seq 300); do pgrep -f 'KivoScan.kivoscan.exe' >/dev/null && break; sleep 0.1; done
"$scan" --help >/dev/null 2>&1
wait $first
rc=$?
rm -f "$controls"
[ $rc -eq 1 ] && grep -q 'State: completed' "$work/slow.out" ||
  { echo "a second tools/scan disturbed the running one (exit $rc):"; cat "$work/slow.out"; status=1; }
exit $status
