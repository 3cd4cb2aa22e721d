#!/bin/sh
# Runs the UI driver's scenarios: English interface, a display (a private Xvfb when there is none),
# and a folder nobody may write into for the destination scenario. Wine takes the C locale as
# English, and names files in the locale's character set: C.UTF-8 is built into glibc, where
# en_US.UTF-8 needs a generated locale (without one, no file name outside ASCII can be made).
# usage: run-ui-driver.sh EMULATOR DRIVER.exe WITH_DISPLAY_SCRIPT
set -eu
emulator=$1
driver=$2
with_display=$3
export LC_ALL=C.UTF-8

work=$(mktemp -d)
locked=$work/locked
mkdir "$locked"
cleanup() {
  chattr -i "$locked" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

winpath() { echo "Z:$1" | tr / '\\'; }
"$emulator" "$driver" --prepare-locked "$(winpath "$locked")"
# Even root cannot create files in an immutable folder; without that support the scenario skips.
if chattr +i "$locked" 2>/dev/null; then
  VESKO_UI_LOCKED_DIR=$(winpath "$locked")
  export VESKO_UI_LOCKED_DIR
fi

if [ -n "${DISPLAY:-}" ]; then
  "$emulator" "$driver"
else
  bash "$with_display" "$emulator" "$driver"
fi
