#!/usr/bin/env bash
# Checks a built Debian package without installing it on this machine: the
# package is unpacked into a throwaway root, where its maintainer scripts
# (told the root through DPKG_ROOT, as dpkg --root does) register the mailer
# in that root's system-wide registry. The installed autocall then reaches the
# mailer there for a user who has no registration of their own, and after
# removal no longer does. Also checks the declared dependencies, the desktop
# entry, and the installed verdanpost-listdb's first-start setup.
# Usage: package_test.sh PACKAGE.deb
set -euo pipefail
deb=$(realpath "$1")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
root=$work/root
dpkg-deb -x "$deb" "$root"
dpkg-deb -e "$deb" "$work/control"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# The declared dependencies, one name a line without versions.
depends=$(dpkg-deb -f "$deb" Depends | sed 's/ *([^)]*)//g; s/, */\n/g')
for dependency in libqt6widgets6 qt6-qpa-plugins libodbc2 libodbcinst2 libsqliteodbc \
  libssl3 ca-certificates; do
  grep -qxF "$dependency" <<<"$depends" || fail "Depends lacks $dependency: $depends"
done

for file in usr/bin/verdanpost-console usr/bin/autoreg usr/bin/autocall usr/bin/verdanpost-listdb \
  usr/share/applications/verdanpost-console.desktop \
  usr/share/icons/hicolor/scalable/apps/verdanpost-console.svg; do
  [ -e "$root/$file" ] || fail "the package lacks /$file"
done
mailer=$(cd "$root" && echo usr/lib/*/verdanpost/libverdanpost.so.1)
[ -e "$root/$mailer" ] || fail "the package lacks the mailer library"
desktop-file-validate "$root/usr/share/applications/verdanpost-console.desktop" ||
  fail "the desktop entry does not validate"
# The programs look for the system-wide registry where the package's
# maintainer scripts put it.
grep -q --binary-files=text '/etc/verdanpost/classes-root.reg' "$root/usr/bin/autocall" ||
  fail "autocall was built for another system registry"

# A user with nothing of their own: no registry, no data source.
export HOME=$work/home XDG_DATA_HOME=$work/home/.local/share
export ODBCSYSINI=$work/odbc ODBCINI=$work/home/.odbc.ini
mkdir -p "$HOME" "$ODBCSYSINI"
cp /etc/odbcinst.ini "$ODBCSYSINI/odbcinst.ini"
: >"$ODBCSYSINI/odbc.ini"
unset AUTOMATION_REGISTRY AUTOMATION_SYSTEM_REGISTRY
registry=$root/etc/verdanpost/classes-root.reg

DPKG_ROOT=$root "$work/control/postinst" configure || fail "postinst failed"
grep -qxF "@=\"$root/$mailer\"" "$registry" || fail "the mailer is not registered: $(cat "$registry")"

call() {
  AUTOMATION_SYSTEM_REGISTRY=$registry "$root/usr/bin/autocall" Verdanpost.SMTPMailer.1 \
    ServerName=127.0.0.1:1 'SendMessage("ann@example.org", "bob@example.org", "", "", "Hi", "Hi")' \
    ErrorCode ErrorMessage 2>&1
}
# Nothing listens on port 1: the send runs and fails at the connection.
out=$(call) || fail "autocall failed: $out"
[ "$out" = $'6\nCould not connect to server' ] || fail "autocall printed: $out"
[ -e "$XDG_DATA_HOME/verdanpost/classes-root.reg" ] && fail "the user's registry was written"

DPKG_ROOT=$root "$work/control/prerm" remove || fail "prerm failed"
grep -q '^\[' "$registry" && fail "unregistering left keys behind: $(cat "$registry")"
out=$(DPKG_ROOT=$root "$work/control/postrm" remove 2>&1) || fail "postrm remove failed: $out"
[ -z "$out" ] || fail "postrm remove printed: $out"
out=$(call) && fail "the mailer is still reached after removal: $out"
[[ "$out" == *"Verdanpost.SMTPMailer.1 is not registered"* ]] || fail "after removal: $out"
DPKG_ROOT=$root "$work/control/postrm" purge || fail "postrm failed"
[ -e "$registry" ] && fail "purging left the system registry"
[ -e "$(dirname "$registry")" ] && fail "purging left $(ls -A "$(dirname "$registry")")"

out=$("$root/usr/bin/verdanpost-listdb" setup-default) || fail "setup-default failed: $out"
database=$XDG_DATA_HOME/verdanpost/vestro.db
[ "$out" = "Created the list database $database and the ODBC data source \"vestro\" that names it." ] ||
  fail "setup-default printed: $out"
[ -z "$("$root/usr/bin/verdanpost-listdb" setup-default)" ] || fail "a second setup said something"
echo "package: all checks passed ($(basename "$deb"))"
