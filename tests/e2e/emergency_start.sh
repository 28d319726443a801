#!/usr/bin/env bash
# An emergency start (" -start", or kx_start.txt beside it) terminates the foreign
# processes at once. Runs in a throw-away copy of the prefix: every process in it that is
# not on the protected list is really ended, the prefix's own services included.
# usage: emergency_start.sh <kestrix.exe> <kxdriver.exe>
source "$(dirname "$0")/lib.sh"
KX_EXE=$1
KX_DRIVER=$2
KX_SLEEPER=$(dirname "$KX_DRIVER")/kxsleeper.exe
KX_USER_FOLDER=844812

# Starts copies of the waiting helper under the given names; their Wine pids go to SLEEPERS.
start_sleepers() {
  SLEEPERS=()
  for name in "$@"; do
    cp "$KX_SLEEPER" "$E2E_DIR/$name"
    "$WINE" "$E2E_DIR/$name" 60000 </dev/null >/dev/null 2>&1 &
    SLEEPERS+=($!)
  done
  for name in "$@"; do drv process "$name" 30000 >/dev/null || echo "     $name did not start"; done
}

alive() { kill -0 "$1" 2>/dev/null && echo alive || echo ended; }

# Whether this prefix runs an explorer.exe started by its full path with no arguments: the
# shell the program starts again (Wine's own desktop process runs with "/desktop").
shell_restarted() {
  local pid
  for pid in $(pgrep -f '^C:\\windows\\explorer\.exe$' || true); do
    if tr '\0' '\n' <"/proc/$pid/environ" 2>/dev/null | grep -qxF "WINEPREFIX=$WINEPREFIX"; then
      echo yes
      return
    fi
  done
  echo no
}

# Waits up to 30 s for the shell to be started again (the pass ended the desktop's explorer.exe).
wait_shell_restarted() {
  local waited=0
  while [ "$(shell_restarted)" = no ] && [ "$waited" -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
  shell_restarted
}

run_emergency() {
  local what=$1
  shift
  start_sleepers evil.exe svchost.exe.exe svchost.exe
  kx_start "$@"
  drv find "$TITLE" 20000 >/dev/null
  check_soon "$what: evil.exe ended" "ended" alive "${SLEEPERS[0]}"
  check_soon "$what: svchost.exe.exe ended" "ended" alive "${SLEEPERS[1]}"
  check "$what: a protected name stays" "alive" "$(alive "${SLEEPERS[2]}")"
  check "$what: the program itself runs on" "alive" "$(alive "$KX_PID")"
  check "$what: the ended shell is started again from the Windows folder" "yes" "$(wait_shell_restarted)"
  kill "${SLEEPERS[2]}" 2>/dev/null || true
  drv post "$TITLE" WM_CLOSE
  kx_wait_exit
  check "$what: WM_CLOSE ends the program with 0" "0" "$KX_RC"
  log=$(iconv -f cp1251 -t utf-8 "$(kx_data_dir)/KX_Log.txt" 2>/dev/null)
  check "$what: log holds the termination count" "yes" \
    "$(echo "$log" | grep -q 'Остановлено процессов: [1-9][0-9]*\.' && echo yes || echo no)"
}

# The pass ends the prefix's desktop process too; with a Wine virtual desktop that would
# take every window on it along, which Windows itself never does. So no virtual desktop here.
export E2E_NO_VIRTUAL_DESKTOP=1
e2e_begin emergency_start
run_emergency "option -start" -start

# Each further run starts from a fresh prefix, since a pass ends the prefix's services.
fresh_prefix() {
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  rm -rf "$E2E_DIR/prefix"
  cp -a "$KX_BUILD/wine/pristine" "$E2E_DIR/prefix"
  sed -i '/^"Desktop"="Default"/d' "$WINEPREFIX/user.reg"
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  "$WINE" wineboot </dev/null >/dev/null 2>&1
}

# Second run: the marker file in the current directory.
fresh_prefix
marker_dir=$E2E_DIR/disk
mkdir -p "$marker_dir"
touch "$marker_dir/kx_start.txt"
cd "$marker_dir"
run_emergency "marker kx_start.txt"

# Third run: the program under another file name ends every foreign process but itself.
fresh_prefix
cd "$E2E_DIR"
cp "$KX_EXE" "$E2E_DIR/kestrix (1).exe"
KX_EXE="$E2E_DIR/kestrix (1).exe"
run_emergency "renamed copy" -start
