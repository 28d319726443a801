#!/usr/bin/env bash
# The connection strip seen on a 1920 x 1080 X screen with no virtual desktop: red, then
# grey, flush with the right edge and centred vertically, then wiped. The strip is drawn
# by the signal's own test program, which waits at each moment for the screenshot.
# usage: signal_strip.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
export KX_EXE=$1
drawer=$(dirname "$1")/tests/test_connection_signal.exe

# A screen of this size of its own, whatever DISPLAY the suite runs on.
n=90
while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
Xvfb ":$n" -screen 0 1920x1080x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
E2E_XVFB_PID=$!
export DISPLAY=":$n"
sleep 1
e2e_begin signal_strip

# Windows and the screen drawing context go straight to the X screen.
"$WINE" reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f </dev/null >/dev/null 2>&1
"$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
"$WINESERVER" -w
"$WINESERVER" -p </dev/null >/dev/null 2>&1
"$WINE" wineboot </dev/null >/dev/null 2>&1

shots=$E2E_DIR/shots
mkdir -p "$shots"
export KX_SIGNAL_SHOTS="Z:${shots//\//\\}"
"$WINE" "$drawer" --gtest_filter=Signal.StripSitsAtTheRightEdgeAndWipesAway </dev/null >"$E2E_DIR/drawer.log" 2>&1 &
drawer_pid=$!
for moment in ground red grey wiped; do
  waited=0
  while [ ! -e "$shots/$moment.ready" ] && [ "$waited" -lt 300 ] && kill -0 "$drawer_pid" 2>/dev/null; do
    sleep 0.1; waited=$((waited + 1))
  done
  import -window root "$E2E_DIR/strip_$moment.png" 2>/dev/null || true
  touch "$shots/$moment.done"
done
rc=0; wait "$drawer_pid" || rc=$?
iconv -c -f cp1251 -t utf-8 "$E2E_DIR/drawer.log" | tr -d '\r' | grep -E '^(screen|\[  (FAILED|PASSED))|Failure' || true
check "drawing program passes" "0" "$rc"
cp "$E2E_DIR/strip_red.png" "$KX_BUILD/e2e/signal_strip.png" 2>/dev/null || true

# colours <shot> <geometry>: the distinct colours of that part of the screenshot.
colours() { convert "$E2E_DIR/strip_$1.png" -crop "$2" +repage -unique-colors txt:- | sed -n 's/.* \(#[0-9A-F]\{6\}\).*/\1/p' | tr '\n' ' '; }
# differing <shot> <bitmap>: pixels of the strip's place that differ from the picture.
differing() { compare -metric AE "$E2E_DIR/strip_$1.png[40x240+1880+420]" "$2" null: 2>&1 || true; }
# The pictures as the resource script names them.
picture() { sed -n "s/^$1[[:space:]]\+BITMAP[[:space:]]\+\"\(.*\)\"/\1/p" "$KX_ROOT/resources/kestrix.rc"; }
red=$KX_ROOT/resources/$(picture TIT_FLESHKA)
grey=$KX_ROOT/resources/$(picture TIT_FLESHKA_2)

green='#00FF00 '
check "screenshot size" "1920x1080" "$(identify -format %wx%h "$E2E_DIR/strip_ground.png" 2>/dev/null)"
check "before: the right edge shows only the ground" "$green" "$(colours ground 44x244+1876+418)"
for moment in red grey; do
  check "$moment: column 1879 beside the strip is ground" "$green" "$(colours $moment 1x244+1879+418)"
  check "$moment: row 419 above the strip is ground" "$green" "$(colours $moment 40x1+1880+419)"
  check "$moment: row 660 below the strip is ground" "$green" "$(colours $moment 40x1+1880+660)"
  check "$moment: no ground left in x 1880-1919, y 420-659" "" "$(colours $moment 40x240+1880+420 | grep -o "$green")"
done
check "red: the strip is the red picture" "0" "$(differing red "$red")"
check "grey: the strip is the grey picture" "0" "$(differing grey "$grey")"
check "wiped: the right edge shows only the ground" "$green" "$(colours wiped 44x244+1876+418)"
