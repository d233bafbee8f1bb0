# Starts and stops the real parts of the test environment. Sourced by
# scripts/test; usable by hand: source scripts/test-env.sh; start_test_env
# With CI=true a part that does not come up makes start_test_env fail;
# elsewhere it says so and the tests that need the part skip.
TEST_ENV_OWN_DIR=""
if [ -z "${TEST_ENV_DIR:-}" ]; then
  TEST_ENV_DIR=$(mktemp -d /tmp/velmio-test.XXXXXX)
  TEST_ENV_OWN_DIR=$TEST_ENV_DIR
fi
chmod 755 "$TEST_ENV_DIR"
TEST_ENV_PIDS=()

# part_missing WHAT [LOG]: fails in CI, with the end of the part's log.
part_missing() {
  if [ "${CI:-}" = "true" ]; then
    echo "test-env: $1" >&2
    [ -s "${2:-}" ] && tail -n 5 "$2" | sed 's/^/test-env:   /' >&2
    return 1
  fi
  echo "test-env: $1: the tests that need it will be skipped" >&2
}

free_display() {
  local n=90
  while [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ]; do n=$((n + 1)); done
  echo $n
}

start_x() {
  local n
  n=$(free_display)
  # -noreset: by default the server resets when its last client leaves, and a
  # client connecting then (trayer after xdpyinfo) cannot open the display.
  Xvfb ":$n" -screen 0 1280x800x24 -nolisten tcp -noreset >"$TEST_ENV_DIR/xvfb.log" 2>&1 &
  TEST_ENV_PIDS+=($!)
  export DISPLAY=":$n"
  for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
  xdpyinfo >/dev/null 2>&1 || { part_missing "the X server (Xvfb) did not come up (display :$n)" \
    "$TEST_ENV_DIR/xvfb.log" || return; }
  # The tray host: an XEmbed notification area.
  trayer --edge top --align right --widthtype pixel --width 120 --height 24 \
    --transparent false --tint 0x404040 >"$TEST_ENV_DIR/trayer.log" 2>&1 &
  TEST_ENV_PIDS+=($!)
  for _ in $(seq 50); do
    xprop -root _NET_SUPPORTING_WM_CHECK >/dev/null 2>&1
    tray_up && break
    sleep 0.1
  done
  tray_up || part_missing "the tray host (trayer) did not come up" "$TEST_ENV_DIR/trayer.log"
}

tray_up() { xwininfo -root -children 2>/dev/null | grep -q -i trayer; }

start_sound() {
  export XDG_RUNTIME_DIR="$TEST_ENV_DIR/runtime"
  mkdir -p "$XDG_RUNTIME_DIR"
  chmod 700 "$XDG_RUNTIME_DIR"
  export PULSE_RUNTIME_PATH="$XDG_RUNTIME_DIR/pulse"
  pulseaudio -D --exit-idle-time=-1 -n --system=false \
    --load="module-null-sink sink_name=nullsink" \
    --load=module-native-protocol-unix >"$TEST_ENV_DIR/pulse.log" 2>&1 || true
  for _ in $(seq 50); do pactl info >/dev/null 2>&1 && break; sleep 0.1; done
  pactl set-default-sink nullsink >/dev/null 2>&1 ||
    part_missing "PulseAudio with its null sink did not come up" "$TEST_ENV_DIR/pulse.log"
}

free_port() {
  local p
  for _ in $(seq 200); do
    # Below 32768: the Port setting holds 16 signed bits.
    p=$((20000 + RANDOM % 12000))
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null || { echo "$p"; return; }
  done
  return 1
}

# Writes count small messages into a maildir's cur/ folder.
fill_maildir() {
  local dir=$1 count=$2 i
  mkdir -p "$dir/cur" "$dir/new" "$dir/tmp"
  for ((i = 1; i <= count; i++)); do
    printf 'From: sender%d@example.org\r\nSubject: message %d\r\n\r\nHello.\r\n' "$i" "$i" \
      >"$dir/cur/1700000000.M${i}P1.velmio:2,"
  done
}

# A throwaway POP3 server on loopback: users alice (3 messages), empty (0),
# bulk (4,000) and carol (for tests that change the count), all with the
# password "secret" (or only the users named as arguments); plain POP3 (with
# STLS and APOP) and POP3 over TLS with a certificate of a throwaway authority
# ($VELMIO_TEST_CA), and a second server with a self-signed certificate on the
# same mailboxes.
start_dovecot() {
  if ! command -v dovecot >/dev/null 2>&1; then
    part_missing "Dovecot did not come up (dovecot is not on PATH)"
    return
  fi
  local dir="$TEST_ENV_DIR/dovecot" port user
  mkdir -p "$dir/run" "$dir/state" "$dir/mail"
  chmod 755 "$dir" "$dir/run" "$dir/state"
  port=$(free_port)
  local -A counts=([alice]=3 [empty]=0 [bulk]=4000 [carol]=0)
  local users=("$@")
  [ ${#users[@]} -gt 0 ] || users=(alice empty bulk carol)
  : >"$dir/users"
  for user in "${users[@]}"; do
    echo "$user:{PLAIN}secret" >>"$dir/users"
    fill_maildir "$dir/mail/$user/Maildir" "${counts[$user]}"
  done
  chmod 644 "$dir/users"
  # As root, mail is read as nobody; otherwise everything runs as this user.
  local mail_user=nobody mail_group=nogroup own_user=""
  if [ "$(id -u)" -eq 0 ]; then
    chown -R nobody:nogroup "$dir/mail"
  else
    mail_user=$(id -un)
    mail_group=$(id -gn)
    own_user="default_login_user = $mail_user
default_internal_user = $mail_user
default_internal_group = $mail_group
service anvil {
  chroot =
}
service pop3-login {
  chroot =
}"
  fi
  make_certificates "$dir"
  local sslport selfport selfsslport
  sslport=$(free_port)
  write_dovecot_conf "$dir" "$dir" "$port" "$sslport" srv "$own_user"
  # A second server with a self-signed certificate, for the certificate question.
  mkdir -p "$dir/self/run" "$dir/self/state"
  chmod 755 "$dir/self" "$dir/self/run" "$dir/self/state"
  selfport=$(free_port)
  selfsslport=$(free_port)
  write_dovecot_conf "$dir" "$dir/self" "$selfport" "$selfsslport" self "$own_user"
  dovecot -F -c "$dir/dovecot.conf" >"$dir/dovecot.log" 2>&1 &
  DOVECOT_PID=$!
  dovecot -F -c "$dir/self/dovecot.conf" >"$dir/self/dovecot.log" 2>&1 &
  DOVECOT_SELF_PID=$!
  local p log
  for p in "$port" "$sslport" "$selfport" "$selfsslport"; do
    for _ in $(seq 100); do
      (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && break
      sleep 0.1
    done
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      log=$dir/dovecot.log
      if [ "$p" = "$selfport" ] || [ "$p" = "$selfsslport" ]; then log=$dir/self/dovecot.log; fi
      part_missing "Dovecot did not come up (port $p)" "$log" || { stop_dovecot; return 1; }
    fi
  done
  export VELMIO_POP3_PORT=$port
  export VELMIO_POP3S_PORT=$sslport
  export VELMIO_POP3_SELF_PORT=$selfport
  export VELMIO_POP3S_SELF_PORT=$selfsslport
  export VELMIO_TEST_CA=$dir/ca.pem
  export VELMIO_POP3_DIR=$dir
}

# A throwaway authority and a server certificate it signed, both for
# localhost and 127.0.0.1, and a second, self-signed one.
make_certificates() {
  local dir=$1 san="subjectAltName=DNS:localhost,IP:127.0.0.1"
  local ec=(-newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes)
  openssl req -x509 "${ec[@]}" -days 2 -subj "/CN=Velmio Test CA" \
    -keyout "$dir/ca.key" -out "$dir/ca.pem" 2>/dev/null
  openssl req "${ec[@]}" -subj "/CN=localhost" -keyout "$dir/srv.key" -out "$dir/srv.csr" 2>/dev/null
  openssl x509 -req -in "$dir/srv.csr" -CA "$dir/ca.pem" -CAkey "$dir/ca.key" -CAcreateserial -days 2 \
    -extfile <(echo "$san") -out "$dir/srv.pem" 2>/dev/null
  openssl req -x509 "${ec[@]}" -days 2 -subj "/CN=localhost/O=Velmio Self" -addext "$san" \
    -keyout "$dir/self.key" -out "$dir/self.pem" 2>/dev/null
  chmod 644 "$dir"/*.key "$dir"/*.pem
}

# write_dovecot_conf shared-folder instance-folder port tls-port cert-name extra
write_dovecot_conf() {
  local dir=$1 inst=$2 port=$3 sslport=$4 cert=$5 own_user=$6
  cat >"$inst/dovecot.conf" <<CONF
protocols = pop3
listen = 127.0.0.1
base_dir = $inst/run
state_dir = $inst/state
log_path = /dev/stderr
ssl = yes
ssl_cert = <$dir/$cert.pem
ssl_key = <$dir/$cert.key
disable_plaintext_auth = no
auth_mechanisms = plain apop
auth_failure_delay = 0
# No penalty delay for the next login after a wrong password.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dir/users
}
userdb {
  driver = static
  args = uid=$mail_user gid=$mail_group home=$dir/mail/%u
}
$own_user
service pop3-login {
  inet_listener pop3 {
    port = $port
  }
  inet_listener pop3s {
    port = $sslport
    ssl = yes
  }
}
CONF
}

stop_dovecot() {
  if [ -n "${DOVECOT_PID:-}" ]; then
    kill "$DOVECOT_PID" 2>/dev/null || true
    wait "$DOVECOT_PID" 2>/dev/null || true
    DOVECOT_PID=
  fi
  if [ -n "${DOVECOT_SELF_PID:-}" ]; then
    kill "$DOVECOT_SELF_PID" 2>/dev/null || true
    wait "$DOVECOT_SELF_PID" 2>/dev/null || true
    DOVECOT_SELF_PID=
  fi
}

# A session bus of the tests' own with GNOME Keyring unlocked on it (an
# empty password would leave the login keyring locked). Needs
# XDG_RUNTIME_DIR, so it starts after the sound server.
start_keyring() {
  if ! command -v gnome-keyring-daemon >/dev/null 2>&1; then
    part_missing "the keyring did not come up (gnome-keyring-daemon is not installed)"
    return
  fi
  local bus
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1 2>"$TEST_ENV_DIR/dbus.log") || bus=""
  if [ -z "$bus" ]; then
    part_missing "the session bus (dbus-daemon) did not come up" "$TEST_ENV_DIR/dbus.log"
    return
  fi
  export DBUS_SESSION_BUS_ADDRESS=$(sed -n 1p <<<"$bus")
  TEST_ENV_PIDS+=("$(sed -n 2p <<<"$bus")")
  XDG_DATA_HOME="$TEST_ENV_DIR/keyring" gnome-keyring-daemon --foreground --unlock \
    --components=secrets < <(echo -n test) >"$TEST_ENV_DIR/keyring.log" 2>&1 &
  TEST_ENV_PIDS+=($!)
  for _ in $(seq 50); do
    secrets_up && break
    sleep 0.1
  done
  secrets_up || part_missing "the keyring did not come up (no org.freedesktop.secrets on the session bus)" \
    "$TEST_ENV_DIR/keyring.log"
}

secrets_up() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:org.freedesktop.secrets 2>/dev/null | grep -q true
}

start_test_env() {
  start_x || return
  start_sound || return
  start_keyring || return
  start_dovecot || return
  export VELMIO_TEST_ENV_DIR="$TEST_ENV_DIR"
  export QT_QPA_PLATFORM=xcb
}

# Ends every process start_test_env started, then removes its folder unless
# the caller gave it.
stop_test_env() {
  stop_dovecot
  # Only our own sound server: without its runtime path this would end the user's.
  local own_pulse="" p
  [[ "${PULSE_RUNTIME_PATH:-}" == "$TEST_ENV_DIR"/* ]] && own_pulse=1
  [ -n "$own_pulse" ] && { pulseaudio --kill >/dev/null 2>&1 || true; }
  for p in "${TEST_ENV_PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  # The bus forked away and PulseAudio daemonized, so neither is our child.
  for _ in $(seq 50); do
    gone "${TEST_ENV_PIDS[@]}" && { [ -z "$own_pulse" ] || ! pulseaudio --check 2>/dev/null; } && break
    sleep 0.1
  done
  gone "${TEST_ENV_PIDS[@]}" || for p in "${TEST_ENV_PIDS[@]}"; do kill -KILL "$p" 2>/dev/null || true; done
  if [ -n "$TEST_ENV_OWN_DIR" ]; then
    rm -rf "$TEST_ENV_OWN_DIR" || true
    TEST_ENV_OWN_DIR=""
  fi
  TEST_ENV_PIDS=()
}

gone() {
  local p
  for p in "$@"; do kill -0 "$p" 2>/dev/null && return 1; done
  return 0
}
