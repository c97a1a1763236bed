#!/usr/bin/env bash
# Times the mailer sending MESSAGES messages of RECIPIENTS recipients each
# (default 200 and 50; one SMTPMailer object, driven through autocall) and
# Postfix's smtp-source -o sending the same load to the same smtp-sink on
# loopback, and prints both times (best of ROUNDS, default 3), the
# processor time each used in its fastest round, and their ratios (goal: at
# most 1.0 for both, a connection per message as smtp-source makes them);
# then the mailer once more keeping one session for all the messages
# (KeepConnection); and the mailer's peak resident memory after a tenth of
# the sends and after all of them with the same command line (goal: flat).
#
# Usage: bench/mailer_bench.sh [BUILD_DIR]      (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
messages=${MESSAGES:-200}
recipients=${RECIPIENTS:-50}
body_length=1000  # bytes of message body, for both senders

for tool in /usr/sbin/smtp-sink /usr/sbin/smtp-source /usr/bin/time "$build/bin/autocall" \
  "$build/bin/autoreg" "$build/lib/libverdanpost.so"; do
  [ -x "$tool" ] || [ -f "$tool" ] || { echo "missing: $tool" >&2; exit 1; }
done

tmp=$(mktemp -d)
sink_pid=
# The sink dies of the SIGTERM (status 143): that is no failure of the bench.
cleanup() {
  if [ -n "$sink_pid" ]; then
    kill "$sink_pid" 2>/dev/null || true
    wait "$sink_pid" 2>/dev/null || true
  fi
  rm -rf "$tmp"
}
trap cleanup EXIT

export AUTOMATION_REGISTRY=$tmp/classes-root.reg
"$build/bin/autoreg" "$build/lib/libverdanpost.so"

# A free loopback port: bind to port 0 and ask which one came.
port=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
sink_user=()
[ "$(id -u)" -eq 0 ] && sink_user=(-u nobody)
/usr/sbin/smtp-sink "${sink_user[@]}" "127.0.0.1:$port" 256 &
sink_pid=$!
for _ in $(seq 50); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  sleep 0.1
done

# The same body for both: lines of 79 characters and a line end.
line=$(printf '%079d' 0 | tr 0 x)
body=
while [ ${#body} -lt $body_length ]; do body+="$line\\n"; done
bcc=
for r in $(seq "$recipients"); do bcc+="${bcc:+, }rcpt$r@example.org"; done

calc() { awk "BEGIN { print $1 }"; }

# Runs the mailer with $1 sends among $messages steps (the others are
# SendRawMessage calls, which send nothing, with an argument of the same
# size, so that the command line is the same), keeping one session when $2
# is "keep"; prints "SECONDS MAX_RSS_KB SENT CPU_SECONDS".
run_mailer() {
  local steps=("ServerName=127.0.0.1:$port" "IgnoreTo=1")
  [ "${2:-}" = keep ] && steps+=("KeepConnection=true")
  local filler
  filler=$(printf '%*s' $((${#bcc} + ${#body})) '')
  for i in $(seq "$messages"); do
    if [ "$i" -le "$1" ]; then
      steps+=("SendMessage(\"sender@example.org\", \"list@example.org\", \"\", \"$bcc\", \"Bench $i\", \"$body\")" ErrorCode)
    else
      steps+=("SendRawMessage(\"$filler\")")
    fi
  done
  [ "${2:-}" = keep ] && steps+=("Disconnect()")
  local start end
  start=$(date +%s.%N)
  /usr/bin/time -f '%M %U %S' -o "$tmp/usage" "$build/bin/autocall" Verdanpost.SMTPMailer.1 "${steps[@]}" \
    >"$tmp/codes"
  end=$(date +%s.%N)
  local rss user system
  read -r rss user system <"$tmp/usage"
  echo "$(calc "$end - $start") $rss $(grep -cx 0 "$tmp/codes" || true) $(calc "$user + $system")"
}

# Runs smtp-source -o with the same load; prints "SECONDS CPU_SECONDS".
run_source() {
  local start end user system
  start=$(date +%s.%N)
  /usr/bin/time -f '%U %S' -o "$tmp/usage" /usr/sbin/smtp-source -o -s 1 -m "$messages" -r "$recipients" -l "$body_length" \
    -f sender@example.org -t rcpt@example.org "127.0.0.1:$port"
  end=$(date +%s.%N)
  read -r user system <"$tmp/usage"
  echo "$(calc "$end - $start") $(calc "$user + $system")"
}

min() { awk "BEGIN { print ($1 < $2) ? $1 : $2 }"; }

read -r _ small_rss small_sent _ < <(run_mailer $((messages / 10)))
# The machine may be shared: take the best of a few alternating rounds.
mailer_seconds=1e9
kept_seconds=1e9
source_seconds=1e9
for _ in $(seq "${ROUNDS:-3}"); do
  read -r seconds rss mailer_sent cpu < <(run_mailer "$messages")
  [ "$mailer_sent" -eq "$messages" ] || { echo "only $mailer_sent messages sent" >&2; exit 1; }
  if [ "$(min "$mailer_seconds" "$seconds")" != "$mailer_seconds" ]; then
    mailer_seconds=$seconds mailer_rss=$rss mailer_cpu=$cpu
  fi
  read -r seconds _ mailer_sent cpu < <(run_mailer "$messages" keep)
  [ "$mailer_sent" -eq "$messages" ] || { echo "only $mailer_sent messages sent" >&2; exit 1; }
  if [ "$(min "$kept_seconds" "$seconds")" != "$kept_seconds" ]; then
    kept_seconds=$seconds kept_cpu=$cpu
  fi
  read -r seconds cpu < <(run_source)
  if [ "$(min "$source_seconds" "$seconds")" != "$source_seconds" ]; then
    source_seconds=$seconds source_cpu=$cpu
  fi
done

printf 'load: %d messages x %d recipients, %d-byte body, smtp-sink on 127.0.0.1:%d\n' \
  "$messages" "$recipients" "$body_length" "$port"
printf 'mailer (autocall):  %7.3f s, processor %.3f s  (best of %d rounds)\n' \
  "$mailer_seconds" "$mailer_cpu" "${ROUNDS:-3}"
printf 'smtp-source -o:     %7.3f s, processor %.3f s  (best of %d rounds)\n' \
  "$source_seconds" "$source_cpu" "${ROUNDS:-3}"
printf 'ratio mailer/smtp-source: time %.2f, processor %.2f (goal: both at most 1.0)\n' \
  "$(calc "$mailer_seconds / $source_seconds")" "$(calc "$mailer_cpu / $source_cpu")"
printf 'mailer, kept session: %5.3f s, processor %.3f s  (best of %d rounds; %.2f of smtp-source)\n' \
  "$kept_seconds" "$kept_cpu" "${ROUNDS:-3}" "$(calc "$kept_seconds / $source_seconds")"
printf 'mailer peak RSS: %d KiB after %d sends, %d KiB after %d sends (same command line)\n' \
  "$small_rss" $((messages / 10)) "$mailer_rss" "$messages"
[ "$small_sent" -eq $((messages / 10)) ]
