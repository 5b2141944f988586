#!/usr/bin/env bash
# The driver's processor use while nothing changes, with every kind of condition in use.
#
# A private X session (Xvfb with openbox, two application windows, the layouts "us,de"), a private
# session bus, a simulated keyboard and a layer store whose layers carry one condition of each
# kind: an application running, an application in front, an input language, modifier keys, Caps
# Lock and idle time (20 s, so the idle checks run at their fast rate for most of the
# measurement). After a settling time the driver's user and system time and its context switches
# are sampled over the measurement period.
#
# usage: bench/driver_idle_cpu.sh BUILD_FOLDER [SECONDS]     (a release build measures best)
# SHOW_LOG=1 prints the driver's verbose log afterwards. The driver runs from a copy with another
# name, so that the drivers of other sessions of the same user do not end it (single instance);
# run it in its own process namespace so that it does not end theirs either:
#   unshare --pid --fork --mount-proc bench/driver_idle_cpu.sh BUILD_FOLDER
set -euo pipefail

build=$(realpath "${1:?usage: $0 BUILD_FOLDER [SECONDS]}")
seconds=${2:-60}
driver=$build/Driver/BrevonaDriver/BrevonaDriver
sim=$build/tools/sim/brevona-sim
for tool in Xvfb openbox xmessage xprop setxkbmap dbus-daemon "$driver" "$sim"; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do kill "${pids[i]}" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# --- the X session
Xvfb -displayfd 3 -noreset -nolisten tcp -screen 0 640x480x24 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
# openbox can lose a window mapped while it starts: wait until it manages one.
for _ in $(seq 20); do
  xmessage probe >/dev/null 2>&1 &
  probe=$!
  sleep 0.5
  managed=$(xprop -root _NET_CLIENT_LIST | grep -c '0x' || true)
  kill "$probe" 2>/dev/null || true
  wait "$probe" 2>/dev/null || true
  [ "$managed" -gt 0 ] && break
done
setxkbmap -layout us,de

# --- home, applications, layer store, keyboard
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share XDG_CONFIG_HOME=$work/home/.config
export XDG_CACHE_HOME=$work/home/.cache XDG_RUNTIME_DIR=$work/runtime
unset XDG_SESSION_TYPE WAYLAND_DISPLAY
mkdir -p "$XDG_DATA_HOME/applications" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
printf '[Desktop Entry]\nType=Application\nName=Alpha\nExec=/nonexistent\nStartupWMClass=bench-alpha\n' \
  >"$XDG_DATA_HOME/applications/org.example.Alpha.desktop"
xmessage -name bench-alpha alpha >/dev/null 2>&1 &
pids+=($!)
xmessage -name bench-other other >/dev/null 2>&1 &
pids+=($!)

store=$XDG_DATA_HOME/Lumivox/Layers
plist() { printf '<?xml version="1.0" encoding="UTF-8"?>\n<plist version="1.0">\n<dict>\n%s\n</dict>\n</plist>\n' "$1"; }
condition() { printf '<dict><key>Type</key><string>brevona.condition.%s</string><key>Settings</key><dict>%s</dict></dict>' "$1" "$2"; }
layer() {
  mkdir -p "$store/$1"
  plist "<key>DisplayName</key><string>$1</string><key>Buttons</key><dict/><key>Conditions</key><array>$2</array>" \
    >"$store/$1/Layer.plist"
}
mkdir -p "$store"
plist '<key>DisplayName</key><string>Layers</string><key>ItemOrder</key><array>
<string>Running</string><string>Front</string><string>German</string><string>Shift</string>
<string>Caps</string><string>Idle</string></array>' >"$store/Group.plist"
layer Running "$(condition application '<key>Application</key><string>org.example.Alpha</string><key>Predicate</key><string>isRunning</string>')"
layer Front "$(condition application '<key>Application</key><string>org.example.Alpha</string><key>Predicate</key><string>isActive</string>')"
layer German "$(condition language '<key>LanguageID</key><integer>3</integer>')"
layer Shift "$(condition modifier '<key>Keys</key><string>Shift</string>')"
layer Caps "$(condition capslock '<key>State</key><true/>')"
layer Idle "$(condition idle '<key>Time</key><integer>20</integer>')"

"$sim" create "$work/keyboard" >/dev/null
export BREVONA_SIMULATED_KEYBOARD=$work/keyboard
export BREVONA_RESOURCE_DIR=$build/resources

# --- a private session bus and the driver
dbus-daemon --session --fork --print-address=1 --print-pid=1 >"$work/bus"
export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p "$work/bus")
pids+=("$(sed -n 2p "$work/bus")")
mkdir -p "$work/bin"
cp "$driver" "$work/bin/BrevonaIdleBench"
QT_QPA_PLATFORM=offscreen "$work/bin/BrevonaIdleBench" ${SHOW_LOG:+--verbose} >"$work/driver.log" 2>&1 &
driver_pid=$!
pids+=("$driver_pid")

sleep 10 # start-up: the keyboard's volume is probed and the first pictures written
kill -0 "$driver_pid" || { cat "$work/driver.log" >&2; exit 1; }

ticks() { awk '{ print $14 + $15 }' "/proc/$driver_pid/stat"; }
switches() { cat /proc/"$driver_pid"/task/*/status | awk '/ctxt_switches/ { n += $2 } END { print n }'; }
t0=$(ticks) s0=$(switches) start=$(date +%s.%N)
sleep "$seconds"
t1=$(ticks) s1=$(switches) end=$(date +%s.%N)
hz=$(getconf CLK_TCK)
awk -v t="$((t1 - t0))" -v hz="$hz" -v s="$((s1 - s0))" -v a="$start" -v b="$end" 'BEGIN {
  d = b - a
  printf "driver idle over %.1f s: %.3f %% of one core (%d ticks at %d Hz), %.1f context switches/s\n",
         d, 100 * t / hz / d, t, hz, s / d
}'
[ -n "${SHOW_LOG:-}" ] && cat "$work/driver.log"
exit 0
