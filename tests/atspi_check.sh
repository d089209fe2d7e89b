#!/usr/bin/env bash
# What a screen reader finds in the real main window: the program on an X server (Xvfb) with
# the accessibility bus, read over AT-SPI as Orca reads it. Exits 77 (skipped) where
# xvfb-run, at-spi2-core or python3-pyatspi is missing.
set -euo pipefail
program=$1
launcher=/usr/libexec/at-spi-bus-launcher
for needed in xvfb-run dbus-run-session "$launcher"; do
  command -v "$needed" >/dev/null || { echo "missing: $needed"; exit 77; }
done
/usr/bin/python3 -c 'import pyatspi' 2>/dev/null || { echo "missing: python3-pyatspi"; exit 77; }

# Exits 0 when every "role: name" given is among the program's accessible objects; else
# prints those it found. Run anew for each look: without a main loop, a reader's view of
# the desktop is not updated.
read -r -d '' look <<'PYTHON' || true
import sys, pyatspi
def walk(node, found):
    found.add(f"{node.getRoleName()}: {node.name}")
    for i in range(node.childCount):
        walk(node.getChildAtIndex(i), found)
found = set()
for app in pyatspi.Registry.getDesktop(0):
    if app is not None and app.name == "burnshelf":
        walk(app, found)
missing = [line for line in sys.argv[1:] if line not in found]
if missing:
    sys.exit("not found over AT-SPI: " + "; ".join(missing) + "\nfound: " + "; ".join(sorted(found)))
PYTHON

expected=("frame: Burnshelf" "combo box: Disc preset" "combo box: Staging drive" "progress bar: Progress"
          "label: Status" "push button: Move Folder" "push button: GO" "push button: BACK"
          "check box: CRC32,MD5,SHA-1 FingerPrint Check")
# Looked at every 200 ms, for at most 20 s, while the window is built. The X server is not
# reset when its last client leaves (the program's look for a display may be that client).
env -u QT_QPA_PLATFORM -u WAYLAND_DISPLAY QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
  xvfb-run -a -s "-noreset" dbus-run-session -- bash -c '
  launcher=$1 program=$2 look=$3; shift 3
  "$launcher" --launch-immediately 2>/dev/null & bus=$!
  "$program" 2>/dev/null & app=$!
  for try in $(seq 100); do
    if said=$(/usr/bin/python3 -c "$look" "$@" 2>&1); then result=0; break; fi
    result=1
    sleep 0.2
  done
  kill $app $bus
  [ $result -eq 0 ] || echo "$said"
  exit $result' bash "$launcher" "$program" "$look" "${expected[@]}"
echo "named over AT-SPI"
