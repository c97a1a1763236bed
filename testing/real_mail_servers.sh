#!/usr/bin/env bash
# Starts or stops a throwaway Postfix with a Dovecot beside it, every file of
# both under one folder of the caller's; nothing of the system's own mail
# configuration or services is touched. Needs root (Postfix's master and
# Dovecot drop to their own users).
#
#   real_mail_servers.sh start DIR ADDRESS SMTP_PORT SUBMISSION_PORT IMAP_PORT [KEY=VALUE ...]
#   real_mail_servers.sh stop DIR
#
# ADDRESS is a loopback address (127.0.0.N). The servers then offer:
#   SMTP_PORT        plain SMTP, no sign-in, delivery to the Maildirs
#   SUBMISSION_PORT  STARTTLS required, then AUTH PLAIN/LOGIN (Dovecot's SASL)
#   IMAP_PORT        IMAP with STARTTLS, for reading the Maildirs
#   $IMAPS_PORT      IMAP with TLS from the first byte, when that variable
#                    names a port
# Mail for @example.org goes to DIR/mail/USER/ (a Maildir) for each user in
# DIR/users (one "name password" a line, made with owner/secret and
# list/secret when missing); other addresses at example.org are refused at
# RCPT with "550 5.1.1 ... User unknown". DIR/access.regexp, when present,
# is a check_recipient_access table ("/^full@/ 452 4.2.2 Mailbox full").
# DIR/ca.pem must be a CA that signed DIR/server.pem / DIR/server.key.
# KEY=VALUE pairs are added to main.cf (smtpd_recipient_limit=50, ...).
# Postfix's log is DIR/postfix.log, Dovecot's DIR/dovecot.log.
set -euo pipefail

readonly kMailUid=5000

usage() {
  echo "usage: $0 start DIR ADDRESS SMTP_PORT SUBMISSION_PORT IMAP_PORT [KEY=VALUE ...] | stop DIR" >&2
  exit 2
}

start() {
  local dir=$1 address=$2 smtp_port=$3 submission_port=$4 imap_port=$5
  shift 5
  mkdir -p "$dir"
  dir=$(cd "$dir" && pwd)
  local pf=$dir/postfix dc=$dir/dovecot
  mkdir -p "$pf/etc" "$pf/queue" "$pf/data" "$pf/meta" "$dc/base" "$dc/state" "$dir/mail"
  # Postfix and Dovecot refuse folders that others may write; the parent
  # folders must let their users pass.
  chmod 755 "$dir" "$pf" "$dc"
  chown postfix "$pf/data"

  [ -f "$dir/users" ] || printf 'owner secret\nlist secret\n' >"$dir/users"
  : >"$dir/vmailbox"
  : >"$dc/passwd"
  local name password
  while read -r name password; do
    [ -n "$name" ] || continue
    echo "$name@example.org $name/" >>"$dir/vmailbox"
    echo "$name@example.org:{PLAIN}$password:$kMailUid:$kMailUid::$dir/mail/$name::" >>"$dc/passwd"
    mkdir -p "$dir/mail/$name"/{cur,new,tmp}
  done <"$dir/users"
  chown -R "$kMailUid:$kMailUid" "$dir/mail"
  chmod 640 "$dc/passwd"
  chgrp dovecot "$dc/passwd"
  [ -f "$dir/access.regexp" ] || : >"$dir/access.regexp"

  cat >"$pf/etc/main.cf" <<EOF
compatibility_level = 3.6
config_directory = $pf/etc
queue_directory = $pf/queue
data_directory = $pf/data
meta_directory = /etc/postfix
mail_owner = postfix
setgid_group = postdrop
inet_interfaces = all
inet_protocols = ipv4
myhostname = mail.example.org
mydomain = example.org
myorigin = example.org
mydestination =
mynetworks = 127.0.0.2/32
smtpd_client_event_limit_exceptions =
relayhost =
maillog_file_prefixes = $dir
maillog_file = $dir/postfix.log
smtputf8_enable = no
virtual_mailbox_domains = example.org
virtual_mailbox_base = $dir/mail
virtual_mailbox_maps = texthash:$dir/vmailbox
virtual_uid_maps = static:$kMailUid
virtual_gid_maps = static:$kMailUid
virtual_minimum_uid = 100
smtpd_recipient_restrictions = check_recipient_access regexp:$dir/access.regexp, permit_sasl_authenticated, reject_unauth_destination
smtpd_relay_restrictions = permit_sasl_authenticated, reject_unauth_destination
smtpd_tls_cert_file = $dir/server.pem
smtpd_tls_key_file = $dir/server.key
smtpd_tls_security_level = may
smtpd_sasl_type = dovecot
smtpd_sasl_path = $dc/base/auth-postfix
smtpd_sasl_auth_enable = no
smtpd_tls_auth_only = yes
EOF
  local setting
  for setting in "$@"; do
    echo "${setting%%=*} = ${setting#*=}" >>"$pf/etc/main.cf"
  done

  cat >"$pf/etc/master.cf" <<EOF
$address:$smtp_port inet n - n - - smtpd
$address:$submission_port inet n - n - - smtpd
  -o smtpd_tls_security_level=encrypt
  -o smtpd_sasl_auth_enable=yes
  -o smtpd_client_restrictions=permit_sasl_authenticated,reject
pickup    unix  n       -       n       60      1       pickup
cleanup   unix  n       -       n       -       0       cleanup
qmgr      unix  n       -       n       300     1       qmgr
tlsmgr    unix  -       -       n       1000?   1       tlsmgr
rewrite   unix  -       -       n       -       -       trivial-rewrite
bounce    unix  -       -       n       -       0       bounce
defer     unix  -       -       n       -       0       bounce
trace     unix  -       -       n       -       0       bounce
verify    unix  -       -       n       -       1       verify
flush     unix  n       -       n       1000?   0       flush
proxymap  unix  -       -       n       -       -       proxymap
smtp      unix  -       -       n       -       -       smtp
relay     unix  -       -       n       -       -       smtp
showq     unix  n       -       n       -       -       showq
error     unix  -       -       n       -       -       error
retry     unix  -       -       n       -       -       error
discard   unix  -       -       n       -       -       discard
virtual   unix  -       n       n       -       -       virtual
anvil     unix  -       -       n       -       1       anvil
scache    unix  -       -       n       -       1       scache
postlog   unix-dgram n  -       n       -       1       postlogd
EOF

  cat >"$dc/dovecot.conf" <<EOF
base_dir = $dc/base
state_dir = $dc/state
log_path = $dir/dovecot.log
listen = $address
protocols = imap
ssl = yes
ssl_cert = <$dir/server.pem
ssl_key = <$dir/server.key
disable_plaintext_auth = yes
auth_mechanisms = plain login
mail_location = maildir:~
first_valid_uid = 100
passdb {
  driver = passwd-file
  args = scheme=PLAIN username_format=%u $dc/passwd
}
userdb {
  driver = passwd-file
  args = username_format=%u $dc/passwd
}
service imap-login {
  inet_listener imap {
    address = $address
    port = $imap_port
  }
  inet_listener imaps {
    address = $address
    port = ${IMAPS_PORT:-0}
  }
}
service auth {
  unix_listener auth-postfix {
    mode = 0666
  }
}
service stats {
  unix_listener stats-reader {
    mode = 0666
  }
  unix_listener stats-writer {
    mode = 0666
  }
}
EOF

  # Both keep the standard output they inherit: never a pipe a caller waits on.
  dovecot -c "$dc/dovecot.conf" >>"$dir/dovecot.log" 2>&1
  postfix -c "$pf/etc" check >>"$dir/postfix.log" 2>&1 || true
  postfix -c "$pf/etc" start >>"$dir/postfix.log" 2>&1

  # Ready when every listener answers.
  local port tries
  for port in "$smtp_port" "$submission_port" "$imap_port" ${IMAPS_PORT:-}; do
    for tries in $(seq 1 100); do
      if (exec 3<>"/dev/tcp/$address/$port") 2>/dev/null; then break; fi
      sleep 0.1
    done
  done
}

stop() {
  local dir=$1
  dir=$(cd "$dir" && pwd) || return 0
  postfix -c "$dir/postfix/etc" stop >>"$dir/postfix.log" 2>&1 || true
  doveadm -c "$dir/dovecot/dovecot.conf" stop >>"$dir/dovecot.log" 2>&1 || true
  # Wait until both masters are gone, so that the folder can be removed.
  local pid_file pid tries
  for pid_file in "$dir/postfix/queue/pid/master.pid" "$dir/dovecot/base/master.pid"; do
    [ -f "$pid_file" ] || continue
    pid=$(tr -d ' \n' <"$pid_file")
    for tries in $(seq 1 50); do
      # A zombie counts as gone: nothing may reap orphans here.
      state=$(awk '{print $3}' "/proc/$pid/stat" 2>/dev/null || true)
      [ -z "$state" ] || [ "$state" = Z ] && break
      sleep 0.1
    done
  done
}

case "${1:-}" in
  start) [ $# -ge 6 ] || usage; shift; start "$@" ;;
  stop) [ $# -eq 2 ] || usage; stop "$2" ;;
  *) usage ;;
esac
