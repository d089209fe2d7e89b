#!/usr/bin/env bash
# Runs desktop_test (its path is the first argument) between two private D-Bus buses, one
# standing for the system bus, with python3-dbusmock's logind and notification daemon on
# them and a dbus-monitor of the launcher entry's signals; all end with the test. Exits 77,
# which ctest reports as skipped, where dbusmock or the bus tools are missing.
#   tests/desktop_buses.sh build/test/tests/desktop_test [gtest options]
set -uo pipefail
binary=${1:?usage: desktop_buses.sh <desktop_test binary> [gtest options]}
skip() { echo "SKIPPED: $*"; exit 77; }
/usr/bin/python3 -c 'import dbusmock' 2>/dev/null || skip "python3-dbusmock is missing"
for tool in dbus-daemon dbus-monitor dbus-send; do command -v $tool >/dev/null || skip "$tool is missing"; done

logs=$(mktemp -d "${TMPDIR:-/tmp}/burnshelf-buses-XXXXXX")
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$logs"' EXIT
# A bus of its own: its address into the variable every later connection reads.
start_bus() {
  local said
  said=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || skip "dbus-daemon cannot start a bus"
  export "$1=$(sed -n 1p <<<"$said")"
  pids+=("$(sed -n 2p <<<"$said")")
}
start_bus DBUS_SYSTEM_BUS_ADDRESS
start_bus DBUS_SESSION_BUS_ADDRESS
/usr/bin/python3 -m dbusmock --template logind >/dev/null 2>&1 & pids+=($!)
/usr/bin/python3 -m dbusmock --template notification_daemon --logfile "$logs/notifications.log" >/dev/null 2>&1 &
pids+=($!)
dbus-monitor "interface='com.canonical.Unity.LauncherEntry'" >"$logs/launcher.log" 2>/dev/null & pids+=($!)
owned() {
  dbus-send "$1" --print-reply --dest=org.freedesktop.DBus / org.freedesktop.DBus.NameHasOwner "string:$2" 2>/dev/null |
    grep -q 'boolean true'
}
for try in $(seq 200); do  # every 100 ms, for at most 20 s
  owned --system org.freedesktop.login1 && owned --session org.freedesktop.Notifications && break
  [ "$try" -lt 200 ] || { echo "the mocks did not come up"; exit 1; }
  sleep 0.1
done
export QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen}
BURNSHELF_NOTIFY_LOG=$logs/notifications.log BURNSHELF_LAUNCHER_LOG=$logs/launcher.log "$@"
