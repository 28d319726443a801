# Shared by the e2e scenarios: each runs the real kestrix.exe in a fresh copy of the
# pristine Wine prefix, with its own Wine server and, without a DISPLAY, its own Xvfb.
set -euo pipefail
KX_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
source "$KX_ROOT/scripts/wine-env"
TITLE="Kestrix 4.3"
E2E_FAILURES=0
E2E_XVFB_PID=

e2e_begin() {
  local name=$1
  "$KX_ROOT/scripts/make-prefix"
  E2E_DIR=$KX_BUILD/e2e/$name
  rm -rf "$E2E_DIR"
  mkdir -p "$E2E_DIR"
  cp -a "$KX_BUILD/wine/pristine" "$E2E_DIR/prefix"
  export WINEPREFIX=$E2E_DIR/prefix
  # E2E_NO_VIRTUAL_DESKTOP=1: windows go straight onto the X screen.
  if [ "${E2E_NO_VIRTUAL_DESKTOP:-0}" = 1 ]; then
    sed -i '/^"Desktop"="Default"/d' "$WINEPREFIX/user.reg"
  fi
  if [ -z "${DISPLAY:-}" ]; then
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 800x600x24 -nolisten tcp </dev/null >/dev/null 2>&1 &
    E2E_XVFB_PID=$!
    export DISPLAY=":$n"
    sleep 1
  fi
  trap e2e_end EXIT
  trap 'echo "e2e: stopped by a failing command at line $LINENO: $BASH_COMMAND"' ERR
  "$WINESERVER" -p </dev/null >/dev/null 2>&1 || true
  # E2E_SHELL_TRACE=<channels>: the shell started here (explorer: desktop, taskbar, tray) writes
  # Wine's trace of those channels to $E2E_DIR/shell.log, for what no message can read back.
  if [ -n "${E2E_SHELL_TRACE:-}" ]; then
    WINEDEBUG="-all,$E2E_SHELL_TRACE" "$WINE" wineboot </dev/null >/dev/null 2>"$E2E_DIR/shell.log"
  else
    "$WINE" wineboot </dev/null >/dev/null 2>&1
  fi
}

e2e_end() {
  local rc=$?
  "$WINESERVER" -k </dev/null >/dev/null 2>&1 || true
  [ -n "$E2E_XVFB_PID" ] && kill "$E2E_XVFB_PID" 2>/dev/null
  if [ "$rc" -ne 0 ] || [ "$E2E_FAILURES" -ne 0 ]; then
    # What Wine said of the program (an unhandled exception, say) tells why it went.
    [ -s "$E2E_DIR/kestrix.err" ] && sed 's/^/     kestrix.exe: /' "$E2E_DIR/kestrix.err" | head -n 20
  fi
  if [ "$E2E_FAILURES" -ne 0 ]; then
    echo "e2e: $E2E_FAILURES check(s) failed"
    exit 1
  fi
  exit "$rc"
}

# The program's data folder for the prefix's user, as a Unix path.
kx_data_dir() { echo "$WINEPREFIX/drive_c/ProgramData/TarvelSoft/$KX_USER_FOLDER/Kestrix"; }

# Starts kestrix.exe in the background; KX_PID is the Wine process to wait for.
kx_start() {
  "$WINE" "$KX_EXE" "$@" </dev/null >/dev/null 2>>"$E2E_DIR/kestrix.err" &
  KX_PID=$!
}

# Waits (at most 30 s) for the background program; its exit code goes to KX_RC.
kx_wait_exit() {
  local waited=0
  while kill -0 "$KX_PID" 2>/dev/null && [ "$waited" -lt 300 ]; do sleep 0.1; waited=$((waited + 1)); done
  KX_RC=0
  if kill -0 "$KX_PID" 2>/dev/null; then KX_RC=timeout; kill "$KX_PID"; fi
  wait "$KX_PID" || KX_RC=$?
}

drv() { "$WINE" "$KX_DRIVER" "$@" </dev/null 2>/dev/null | tr -d '\r'; }

# state_field <name>: one field of "kxdriver state".
state_field() { drv state "$TITLE" | tr ' ' '\n' | sed -n "s/^$1=//p"; }

check() {
  local what=$1 expected=$2 actual=$3
  if [ "$expected" = "$actual" ]; then
    echo "ok   $what"
  else
    echo "FAIL $what: expected [$expected], got [$actual]"
    E2E_FAILURES=$((E2E_FAILURES + 1))
  fi
}

# check_soon <what> <expected> <command...>: the check of a state the program reaches in its own
# time; the command is asked again until it answers what is expected, for at most
# E2E_PATIENCE seconds (30 by default), so a busy machine is waited for, not failed.
check_soon() {
  local what=$1 expected=$2 actual deadline
  shift 2
  deadline=$((SECONDS + ${E2E_PATIENCE:-30}))
  while :; do
    actual=$("$@" 2>/dev/null) || true
    [ "$actual" = "$expected" ] || [ "$SECONDS" -ge "$deadline" ] && break
    sleep 0.1
  done
  check "$what" "$expected" "$actual"
}

# wait_until <command...>: waits (at most E2E_PATIENCE seconds) until the command succeeds.
wait_until() {
  local deadline=$((SECONDS + ${E2E_PATIENCE:-30}))
  until "$@" >/dev/null 2>&1; do
    [ "$SECONDS" -ge "$deadline" ] && return 1
    sleep 0.1
  done
}

# Two fields of "kxdriver state", as the checks of the window's show state read them.
shown_state() { echo "$(state_field visible) $(state_field iconic)"; }

screenshot() { import -window root "$KX_BUILD/e2e/$1.png" 2>/dev/null || true; }
