# Starts and stops the real parts of the test environment. Sourced by
# scripts/test; usable by hand: source scripts/test-env.sh; start_test_env
TEST_ENV_DIR=${TEST_ENV_DIR:-$(mktemp -d /tmp/velmio-test.XXXXXX)}
chmod 755 "$TEST_ENV_DIR"
TEST_ENV_PIDS=()

free_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo $n
}

start_x() {
  local n
  n=$(free_display)
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp >"$TEST_ENV_DIR/xvfb.log" 2>&1 &
  TEST_ENV_PIDS+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  # The tray host: an XEmbed notification area.
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x404040 >"$TEST_ENV_DIR/trayer.log" 2>&1 &
  TEST_ENV_PIDS+=($!)
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1
    xdpyinfo >/dev/null 2>&1 && xwininfo -root -children 2>/dev/null | grep -q -i trayer && break
    sleep 0.1
  done
}

start_sound() {
  export XDG_RUNTIME_DIR="$TEST_ENV_DIR/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  pulseaudio -D --exit-idle-time=-1 -n --system=false \
    --load="module-null-sink sink_name=nullsink" \
    --load=module-native-protocol-unix >"$TEST_ENV_DIR/pulse.log" 2>&1 || true
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink nullsink >/dev/null 2>&1 || true
}

start_test_env() {
  start_x
  start_sound
  export VELMIO_TEST_ENV_DIR="$TEST_ENV_DIR"
  export QT_QPA_PLATFORM=xcb
}

stop_test_env() {
  pulseaudio --kill >/dev/null 2>&1 || true
  for p in "${TEST_ENV_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
