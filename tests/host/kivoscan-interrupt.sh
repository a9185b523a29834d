#!/usr/bin/env bash
# Ctrl-C during a scan: Wine turns SIGINT into the console's Ctrl-C event, so
# this is what a user's Ctrl-C does. kivoscan must stop the task through the
# bus, wait for its end state, still print the summary and exit 2: a partial
# scan is never taken for a clean one. An interrupt while kivoscan still
# walks the paths before the scan ends it with a message and exit 130.
#   kivoscan-interrupt.sh BUILD_DIR
set -uo pipefail
build=$1
engine=$build/wine/wow64/drive_c/KivoTest/kivoscan_tests   # kivoscan_tests' own engine copy
folder=$build/wine/wow64/drive_c/kivoscan-interrupt
work=$(mktemp -d)
trap 'rm -rf "$work" "$folder" "$engine/Quentor.ini"' EXIT

rm -rf "$folder" && mkdir -p "$folder" "$engine"
for i in $(seq 1 20); do printf '@echo %s\r\n' "$i" >"$folder/file$i.bat"; done
printf 'DelayMs=1000\nWorkers=1\n' >"$engine/Quentor.ini"   # a slow engine: the scan is still running

"$build/wine-run" "$build/bin/kivoscan_tests/kivoscan.exe" --json 'C:\kivoscan-interrupt' >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 1 600); do
  grep -q '"state":1,' "$work/out" && break
  kill -0 $pid 2>/dev/null || break
  sleep 0.2
done
grep -q '"state":1,' "$work/out" || { echo "the scan never started"; cat "$work/err"; kill $pid; exit 1; }
kill -INT $pid
wait $pid
rc=$?

status=0
[ $rc -eq 2 ] || { echo "exit code $rc, expected 2 (stopped, no threat)"; status=1; }
grep -q '"event":"EVT_SCAN_STATE".*"state":3,' "$work/out" || { echo "no stopped state on the bus"; status=1; }
grep -q '^State: stopped' "$work/err" || { echo "no summary saying stopped"; status=1; }
[ $status -eq 0 ] || { tail -5 "$work/out"; cat "$work/err"; }

# A folder large enough that the walk before the scan takes a while.
rm -rf "$folder" && mkdir -p "$folder"
python3 -c 'import sys; [open(f"{sys.argv[1]}/f{i}.txt", "w").close() for i in range(300000)]' "$folder"
"$build/wine-run" "$build/bin/kivoscan_tests/kivoscan.exe" 'C:\kivoscan-interrupt' >"$work/out" 2>"$work/err" &
pid=$!
for _ in $(seq 1 600); do pgrep -f 'kivoscan_tests.kivoscan.exe' >/dev/null && break; sleep 0.1; done
sleep 1 # inside the walk, past the start of the program
kill -INT $pid
wait $pid
rc=$?
if [ $rc -eq 130 ]; then
  grep -q 'stopped before the scan began' "$work/err" || { echo "exit 130 without a word"; status=1; }
elif [ $rc -eq 2 ]; then
  grep -q '^State: stopped' "$work/out" || { echo "exit 2 without a stopped summary"; status=1; }
else
  echo "an interrupt early in the run: exit code $rc, expected 130 (or 2 once scanning)"; cat "$work/err"; status=1
fi
exit $status
