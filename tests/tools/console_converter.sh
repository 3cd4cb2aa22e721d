#!/usr/bin/env bash
# vesko-convert on a mix of good and damaged files, and a conversion killed from outside mid-way
# whose leftovers the next start removes. The same checks for the Windows program (under wine) and
# for the native one; the native one also converts the shared samples and is cancelled by SIGINT.
# usage: console_converter.sh BUILD_DIR [SAMPLES_DIR]   (a Windows build with its wine-run.sh, or a native one)
set -uo pipefail
build=$1
samples=${2:-}
scratch=$(mktemp -d)
if [ -e "$build/tools/vesko-convert.exe" ]; then
  windows=1 run=$build/wine-run.sh exe=.exe sep='\\'
else
  windows=0 run= exe= sep=/
  export XDG_STATE_HOME=$scratch/state
fi
convert=$build/tools/vesko-convert$exe
make=$build/tools/vesko-nsz-build$exe
cd "$scratch" || exit 1
failures=0
check() { # check DESCRIPTION CONDITION...
  local what=$1; shift
  if "$@"; then echo "ok: $what"; else echo "FAILED: $what"; failures=$((failures + 1)); fi
}
cleanup() { cd /; rm -rf "$scratch"; }
trap cleanup EXIT
export LC_ALL=C.UTF-8  # English texts

${run:+"$run"} "$make" good.nsz --nsp expected.nsp --mib 3 >/dev/null
${run:+"$run"} "$make" damaged.nsz --mib 3 --damage >/dev/null
printf 'not a package at all' > text.nsz
mkdir out

${run:+"$run"} "$convert" --quiet --output-dir out good.nsz damaged.nsz text.nsz missing.nsz > lines.txt 2>err.txt
code=$?
tr -d '\r' < lines.txt > lines
cat lines
check "exit code 1 when any file failed" [ "$code" -eq 1 ]
check "four lines, one per file" [ "$(wc -l < lines)" -eq 4 ]
check "good file converted" grep -q "^OK good.nsz -> .*out${sep}good.nsp\$" lines
check "published NSP is the expected one" cmp -s out/good.nsp expected.nsp
check "damaged file: verification, user's message and diagnostic" \
  grep -q '^FAILED damaged.nsz: The source file failed verification: its data is damaged. Download it again. \[VerificationFailed\] Проверка SHA-256 не пройдена: ' lines
check "not an NSZ" grep -q '^FAILED text.nsz: The selected file is not an NSZ file. Choose a file in NSZ format. \[NotNsz\] Это не NSZ-контейнер PFS0.$' lines
check "missing file" grep -q '^FAILED missing.nsz: The source file was moved or deleted. Choose the file again. \[ReadFailed\] .*(Windows 2)$' lines
check "no temporary file left" [ -z "$(ls -A out | grep -v '^good.nsp$')" ]

${run:+"$run"} "$convert" > /dev/null 2>&1
check "exit code 2 without files" [ $? -eq 2 ]
${run:+"$run"} "$convert" --bogus good.nsz > /dev/null 2>&1
check "exit code 2 for an unknown option" [ $? -eq 2 ]
${run:+"$run"} "$convert" --help > help.txt 2>&1
check "--help: exit code 0 and the usage" [ $? -eq 0 ] && grep -q '^usage: vesko-convert' help.txt
${run:+"$run"} "$convert" --version > version.txt 2>&1
check "--version: exit code 0 and the version" [ $? -eq 0 ] && grep -q '^vesko-convert [0-9]' version.txt

${run:+"$run"} "$convert" --quiet --delete-source good.nsz > del.txt 2>&1
code=$?
check "exit code 0 when every file converted" [ "$code" -eq 0 ]
check "source deleted" [ ! -e good.nsz ]
check "published beside the source" cmp -s good.nsp expected.nsp

if [ "$windows" -eq 1 ]; then
  recovery=$(ls -d "$WINEPREFIX_DIR"/drive_c/users/*/AppData/Local/VESKO/ZARUvivuriza/Recovery | head -n1)
else
  recovery=$XDG_STATE_HOME/VESKO/ZARUvivuriza/Recovery
  if [ -n "$samples" ]; then
    tail -n +2 "$samples/expected.tsv" | while read -r file sha; do
      "$convert" --quiet --output-dir out "$samples/$file" >/dev/null
      echo "$(sha256sum "out/${file%.nsz}.nsp" | cut -d' ' -f1) $sha"
    done > samples.txt
    check "the four samples convert to their recorded NSPs" \
      [ "$(awk '$1 == $2' samples.txt | wc -l)" -eq 4 ]
  fi
fi

${run:+"$run"} "$make" big.nsz --mib 400 --level 1 >/dev/null
start_big() { # starts the conversion of big.nsz; returns once its temporary file has data
  ${run:+"$run"} "$convert" --quiet big.nsz > big.txt 2>&1 &
  pid=$!
  tmp=""
  for _ in $(seq 2000); do
    tmp=$(ls .vesko-*.tmp 2>/dev/null | head -n1)
    [ -n "$tmp" ] && [ "$(stat -c %s "$tmp" 2>/dev/null || echo 0)" -gt 0 ] && break
    sleep 0.01
  done
}

if [ "$windows" -eq 0 ]; then
  # Ctrl+C mid-way: cancelled, and nothing left behind.
  start_big
  kill -INT "$pid" 2>/dev/null
  wait "$pid"
  code=$?
  check "SIGINT: exit code 3" [ "$code" -eq 3 ]
  check "SIGINT: the file's line says cancelled" grep -q '^CANCELLED big.nsz$' big.txt
  nothing_left() { [ -z "$(ls -A "$recovery")" ] && [ ! -e big.nsp ] && ! ls .vesko-* >/dev/null 2>&1; }
  check "SIGINT: no temporary file, journal or NSP left" nothing_left
fi

# Killed mid-way: the temporary file and its journal stay behind.
start_big
kill -9 "$pid" 2>/dev/null
wait "$pid" 2>/dev/null
check "a temporary file was being written" [ -n "$tmp" ]
record=${tmp#.vesko-}; record=${record%.tmp}
check "the killed run left its temporary file" [ -n "$tmp" -a -e "$tmp" ]
check "the killed run left its journal" [ -e "$recovery/$record.journal" ]
check "nothing was published" [ ! -e big.nsp ]

# Windows keeps a file's creation time; wine 8 reports the last modification time instead, so the
# identity recorded at reservation no longer matches once bytes were written. Give the file back the
# creation time Windows would report (its birth time), so that the scan is judged as on Windows.
[ "$windows" -eq 1 ] && touch -m -d "$(stat -c %w "$tmp")" "$tmp"

${run:+"$run"} "$make" small.nsz --mib 1 >/dev/null
${run:+"$run"} "$convert" --quiet small.nsz > /dev/null 2>&1
check "next start converted its own file" [ -e small.nsp ]
check "next start removed the temporary file" [ ! -e "$tmp" ]
check "next start removed the journal" [ ! -e "$recovery/$record.journal" ]

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "all console converter checks passed"
