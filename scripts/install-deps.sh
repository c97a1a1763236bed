#!/usr/bin/env bash
# Installs the Debian packages that building, running and testing need.
# Quiet and idempotent: only missing packages are fetched; runs apt-get as
# root, or through sudo for an ordinary user.
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config clang-format
  dpkg-dev file desktop-file-utils  # cpack's Debian package: its dependencies read by dpkg-shlibdeps
  libgtest-dev libgmock-dev
  qt6-base-dev qt6-base-dev-tools libgl-dev libxkbcommon-dev
  unixodbc unixodbc-dev odbc-postgresql libsqliteodbc sqlite3
  libssl-dev openssl
  libcurl4-openssl-dev libgmime-3.0-dev  # the list's mailbox: IMAP and MIME (console/mailbox)
  postgresql
  python3-aiosmtpd postfix time
  dovecot-core dovecot-imapd  # the real mail servers of the tests (testing/real_mail_servers.sh)
  xvfb xauth fonts-dejavu-core
  clang libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
# Postfix is wanted only for its test tools (smtp-sink, smtp-source): keep
# the mail system itself unconfigured so that nothing binds port 25.
echo 'postfix postfix/main_mailer_type select No configuration' | "${sudo[@]}" debconf-set-selections
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq >/dev/null
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
