#!/usr/bin/env bash
# Installs what is missing, builds, and runs the driver on a simulated keyboard with the sample
# layer store. With a display the configurator opens beside the keyboard's live view, so the
# keyboard follows every edit; without one the keyboard's picture is written to a PNG file,
# renewed every second. Stop with Ctrl-C (or close the windows). BREVONA_RUN_SECONDS=N stops after
# N seconds.
set -euo pipefail
cd "$(dirname "$0")/.."
top=$PWD

bash scripts/setup.sh
cmake --preset release >/dev/null
cmake --build --preset release -j"$(nproc)" \
  --target BrevonaDriver brevona-configurator brevona-sim brevona-sample-store sample_plugins brevona_resources
bin=$top/build/release

# Everything of this run lives in one private folder: the layer store, the preferences and the
# folder that stands for the keyboard's volume.
run=$(mktemp -d "${TMPDIR:-/tmp}/brevona-run.XXXXXX")
export XDG_DATA_HOME=$run/data XDG_CONFIG_HOME=$run/config XDG_CACHE_HOME=$run/cache
export BREVONA_SIMULATED_KEYBOARD=$run/keyboard
export BREVONA_SYSTEM_PLUGIN_DIR=$bin/examples/plugins/Plugins
export BREVONA_RESOURCE_DIR=$bin/resources
"$bin/examples/store/brevona-sample-store" "$XDG_DATA_HOME/Lumivox/Layers" >/dev/null
"$bin/tools/sim/brevona-sim" create "$BREVONA_SIMULATED_KEYBOARD" >/dev/null

cat > "$run/session.sh" <<SESSION
#!/usr/bin/env bash
set -u
"$bin/Driver/BrevonaDriver/BrevonaDriver" &
driver=\$!
trap 'kill \$driver 2>/dev/null; wait \$driver 2>/dev/null' EXIT INT TERM
if [ -n "\${DISPLAY:-}\${WAYLAND_DISPLAY:-}" ]; then
  echo "Edit the layers in the configurator; the simulated keyboard follows. Close both windows to stop."
  "$bin/configurator/brevona-configurator" &
  configurator=\$!
  trap 'kill \$configurator \$driver 2>/dev/null; wait \$configurator \$driver 2>/dev/null' EXIT INT TERM
  if [ "\${BREVONA_RUN_SECONDS:-0}" -gt 0 ]; then
    timeout "\$BREVONA_RUN_SECONDS" "$bin/tools/sim/brevona-sim" watch "$BREVONA_SIMULATED_KEYBOARD" || true
  else
    "$bin/tools/sim/brevona-sim" watch "$BREVONA_SIMULATED_KEYBOARD"
    wait \$configurator 2>/dev/null
  fi
else
  echo "No display: the keyboard's picture is $run/keyboard.png (renewed every second). Ctrl-C stops."
  seconds=\${BREVONA_RUN_SECONDS:-0}
  elapsed=0
  while kill -0 \$driver 2>/dev/null; do
    sleep 1
    QT_QPA_PLATFORM=offscreen "$bin/tools/sim/brevona-sim" render "$BREVONA_SIMULATED_KEYBOARD" "$run/keyboard.png.new" >/dev/null 2>&1 \
      && mv -f "$run/keyboard.png.new" "$run/keyboard.png"
    elapsed=\$((elapsed + 1))
    if [ "\$seconds" -gt 0 ] && [ "\$elapsed" -ge "\$seconds" ]; then break; fi
  done
fi
SESSION
chmod +x "$run/session.sh"

# The driver needs a session bus; start a private one when there is none.
if [ -n "${DBUS_SESSION_BUS_ADDRESS:-}" ]; then
  "$run/session.sh"
else
  dbus-run-session -- "$run/session.sh"
fi
