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

# free_port VAR: a port nothing listens on and no earlier call handed out
# (eight are picked before any server listens).
TEST_ENV_PORTS=" "
free_port() {
  local p
  for _ in $(seq 200); do
    # Below 32768: the Port setting holds 16 signed bits.
    p=$((20000 + RANDOM % 12000))
    [[ "$TEST_ENV_PORTS" == *" $p "* ]] && continue
    (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && continue
    TEST_ENV_PORTS+="$p "
    printf -v "$1" %s "$p"
    return
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

# Five messages of which the first two were read (flag S); the fourth one's
# subject is encoded UTF-8 Japanese, 会議の資料.
fill_mixed_maildir() {
  local dir=$1 i flags
  local from=("Hanako Sato <hanako@example.jp>" "Weekly News <news@example.org>"
    "Billing <billing@example.com>" "Taro Yamada <taro@example.jp>" "Dave Miller <dave@example.net>")
  local subject=("Lunch on Friday" "This week's digest" "Your invoice"
    "=?UTF-8?B?5Lya6K2w44Gu6LOH5paZ?=" "Photos from the trip")
  mkdir -p "$dir/cur" "$dir/new" "$dir/tmp"
  for i in 0 1 2 3 4; do
    flags=""
    [ "$i" -lt 2 ] && flags=S
    printf 'From: %s\r\nSubject: %s\r\nDate: Mon, %d Dec 2026 09:00:00 +0900\r\n\r\nHello.\r\n' \
      "${from[i]}" "${subject[i]}" $((i + 1)) >"$dir/cur/1700000000.M$((i + 1))P1.velmio:2,$flags"
  done
}

# A throwaway POP3 and IMAP server on loopback: users alice (3 messages),
# empty (0), bulk (4,000), carol and dave (for tests that change the count) and mixed
# (5, of which 2 read), all with the password "secret" (or only the users
# named as arguments); plain POP3 (with STLS and APOP) and IMAP (with
# STARTTLS), both also over TLS, with a certificate of a throwaway authority
# ($VELMIO_TEST_CA), and a second server with a self-signed certificate on the
# same mailboxes. Both take tokens too: JWTs signed with $VELMIO_OAUTH2_KEY
# and issued by $VELMIO_OAUTH2_ISSUER (the second offers OAUTHBEARER only).
start_dovecot() {
  if ! command -v dovecot >/dev/null 2>&1; then
    part_missing "Dovecot did not come up (dovecot is not on PATH)"
    return
  fi
  local dir="$TEST_ENV_DIR/dovecot" user
  mkdir -p "$dir/mail"
  chmod 755 "$dir"
  local -A counts=([alice]=3 [empty]=0 [bulk]=4000 [carol]=0 [dave]=0)
  local users=("$@")
  [ ${#users[@]} -gt 0 ] || users=(alice empty bulk carol dave mixed)
  : >"$dir/users"
  for user in "${users[@]}"; do
    echo "$user:{PLAIN}secret" >>"$dir/users"
    if [ "$user" = mixed ]; then
      fill_mixed_maildir "$dir/mail/$user/Maildir"
    else
      fill_maildir "$dir/mail/$user/Maildir" "${counts[$user]}"
    fi
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
}
service imap-login {
  chroot =
}"
  fi
  make_certificates "$dir"
  write_token_key "$dir"
  local inst cert ports=() p
  # The second server has a self-signed certificate, for the certificate question.
  for inst in "$dir" "$dir/self"; do
    cert=srv
    [ "$inst" = "$dir/self" ] && cert=self
    local pop3 pop3s imap imaps
    free_port pop3 && free_port pop3s && free_port imap && free_port imaps || {
      part_missing "Dovecot did not come up (no free ports)"
      return
    }
    mkdir -p "$inst/run" "$inst/state"
    chmod 755 "$inst" "$inst/run" "$inst/state"
    write_dovecot_conf "$dir" "$inst" "$cert" "$own_user" "$pop3" "$pop3s" "$imap" "$imaps"
    ports+=("$pop3" "$pop3s" "$imap" "$imaps")
  done
  run_dovecot "$dir"
  DOVECOT_RUNNER=$!
  run_dovecot "$dir/self"
  DOVECOT_SELF_RUNNER=$!
  DOVECOT_DIR=$dir
  local i log
  for i in "${!ports[@]}"; do
    p=${ports[i]}
    for _ in $(seq 100); do
      (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null && break
      sleep 0.1
    done
    if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
      log=$dir/dovecot.log
      [ "$i" -ge 4 ] && log=$dir/self/dovecot.log
      part_missing "Dovecot did not come up (port $p)" "$log" || { stop_dovecot; return 1; }
    fi
  done
  export VELMIO_POP3_PORT=${ports[0]}
  export VELMIO_POP3S_PORT=${ports[1]}
  export VELMIO_IMAP_PORT=${ports[2]}
  export VELMIO_IMAPS_PORT=${ports[3]}
  export VELMIO_POP3_SELF_PORT=${ports[4]}
  export VELMIO_POP3S_SELF_PORT=${ports[5]}
  export VELMIO_IMAP_SELF_PORT=${ports[6]}
  export VELMIO_IMAPS_SELF_PORT=${ports[7]}
  export VELMIO_TEST_CA=$dir/ca.pem
  export VELMIO_OAUTH2_KEY=$(cat "$dir/keys/default/HS256/default")
  export VELMIO_OAUTH2_ISSUER=$TOKEN_ISSUER
  export VELMIO_POP3_DIR=$dir
  # For tests that stop the server and start it again (tests/support/dovecot.cpp).
  export VELMIO_DOVECOT_CONF=$dir/dovecot.conf
  export VELMIO_DOVECOT_PID_FILE=$dir/run/master.pid
}

# run_dovecot INSTANCE-FOLDER: runs that instance's Dovecot in a background
# shell that starts it again, once it has ended, when the line "start"
# arrives on INSTANCE-FOLDER/restart (any other line ends the shell). A test
# stops Dovecot by its pid file; the shell, not PID 1 (which may not reap),
# stays its parent across restarts. Each start leads a process group of its
# own: the master ends without waiting for a session's imap process, nor
# that for the log process, so stopping ends the whole group.
run_dovecot() {
  local inst=$1 line
  rm -f "$inst/restart"
  mkfifo "$inst/restart"
  : >"$inst/dovecot.log"
  (
    while :; do
      setsid dovecot -F -c "$inst/dovecot.conf" >>"$inst/dovecot.log" 2>&1 || true
      read -r line <"$inst/restart" || break
      [ "$line" = start ] || break
    done
  ) &
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

# The key Dovecot checks tokens with (HS256, stored base64; the dict drops
# the "shared/" of the key it looks up) and who may issue them; the tests
# mint their JWTs with the same key.
TOKEN_ISSUER=https://velmio-test.invalid
write_token_key() {
  local dir=$1
  mkdir -p "$dir/keys/default/HS256"
  head -c 32 /dev/urandom | base64 -w0 >"$dir/keys/default/HS256/default"
  cat >"$dir/oauth2.conf.ext" <<CONF
introspection_mode = local
local_validation_key_dict = fs:posix:prefix=$dir/keys/
username_attribute = email
issuers = $TOKEN_ISSUER
CONF
  chmod -R a+rX "$dir/keys" "$dir/oauth2.conf.ext"
}

# write_dovecot_conf shared-folder instance-folder cert-name extra pop3-port
#   pop3s-port imap-port imaps-port
write_dovecot_conf() {
  local dir=$1 inst=$2 cert=$3 own_user=$4 pop3=$5 pop3s=$6 imap=$7 imaps=$8
  # The self-signed twin offers OAUTHBEARER alone, so that it is the one used.
  local tokens="xoauth2 oauthbearer"
  [ "$cert" = self ] && tokens=oauthbearer
  cat >"$inst/dovecot.conf" <<CONF
protocols = pop3 imap
listen = 127.0.0.1
base_dir = $inst/run
state_dir = $inst/state
log_path = /dev/stderr
ssl = yes
ssl_cert = <$dir/$cert.pem
ssl_key = <$dir/$cert.key
disable_plaintext_auth = no
auth_mechanisms = plain login apop $tokens
auth_failure_delay = 0
# Tests start checks faster than a server closes the ones they abandon.
mail_max_userip_connections = 1000
# No penalty delay for the next login after a wrong password.
service anvil {
  unix_listener anvil-auth-penalty {
    mode = 0
  }
}
mail_location = maildir:~/Maildir
passdb {
  driver = passwd-file
  mechanisms = plain login apop
  args = scheme=PLAIN username_format=%u $dir/users
}
# Tokens: JWTs Dovecot checks itself against the tests' own key.
passdb {
  driver = oauth2
  mechanisms = xoauth2 oauthbearer
  args = $dir/oauth2.conf.ext
}
userdb {
  driver = static
  args = uid=$mail_user gid=$mail_group home=$dir/mail/%u
}
$own_user
service pop3-login {
  inet_listener pop3 {
    port = $pop3
  }
  inet_listener pop3s {
    port = $pop3s
    ssl = yes
  }
}
service imap-login {
  inet_listener imap {
    port = $imap
  }
  inet_listener imaps {
    port = $imaps
    ssl = yes
  }
}
CONF
}

stop_dovecot() {
  if [ -n "${DOVECOT_RUNNER:-}" ]; then
    stop_instance "$DOVECOT_DIR" "$DOVECOT_RUNNER"
    DOVECOT_RUNNER=
  fi
  if [ -n "${DOVECOT_SELF_RUNNER:-}" ]; then
    stop_instance "$DOVECOT_DIR/self" "$DOVECOT_SELF_RUNNER"
    DOVECOT_SELF_RUNNER=
  fi
}

# stop_instance INSTANCE-FOLDER RUNNER-PID: ends the instance's Dovecot,
# whichever start it is, and then the shell of run_dovecot.
stop_instance() {
  local inst=$1 runner=$2 pid groups fd
  pid=$(cat "$inst/run/master.pid" 2>/dev/null) || pid=""
  # A pid file left by a Dovecot that did not end cleanly may name another
  # process; without one, a Dovecot just started has not written it yet.
  if [ -n "$pid" ] && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = dovecot ]; then
    groups=$pid
  else
    groups=$(live_processes 1 "$runner")
  fi
  for pid in $groups; do
    kill -TERM -- "-$pid" 2>/dev/null || true
    for _ in $(seq 50); do [ -n "$(live_processes 2 "$pid")" ] || break; sleep 0.1; done
    [ -z "$(live_processes 2 "$pid")" ] || kill -KILL -- "-$pid" 2>/dev/null || true
  done
  # Read-write: opening does not wait for the reader, and the line stays in
  # the pipe while this end is open.
  exec {fd}<>"$inst/restart"
  echo quit >&"$fd"
  wait "$runner" 2>/dev/null || true
  exec {fd}>&-
}

# live_processes FIELD VALUE: the processes whose parent (FIELD 1) or
# process group (2) is VALUE, read from /proc (procps may be missing); a
# zombie that nobody reaps does not count.
live_processes() {
  local f line fields
  for f in /proc/[0-9]*/stat; do
    { read -r line <"$f"; } 2>/dev/null || continue
    # After the name in parentheses: state, parent, process group.
    read -r -a fields <<<"${line##*) }"
    [ "${fields[$1]}" = "$2" ] && [ "${fields[0]}" != Z ] && echo "${f//[^0-9]/}"
  done
  return 0
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
