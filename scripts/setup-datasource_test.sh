#!/usr/bin/env bash
# Tests scripts/setup-datasource.sh (verdanpost-listdb setup-default) in a
# throwaway home with ODBC ini files of its own: a first run whose table
# creation fails defines no data source and is retried by the next; a run
# that succeeds defines "vestro" on a database that holds both tables; later
# runs change nothing, and an operator's own "vestro" is never replaced.
# Usage: setup-datasource_test.sh PATH_TO_verdanpost-listdb
set -euo pipefail
listdb=$1
script="$(cd "$(dirname "$0")" && pwd)/setup-datasource.sh"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export HOME="$work/home" XDG_DATA_HOME="$work/data"
export ODBCSYSINI="$work/sys" ODBCINI="$work/home/.odbc.ini"
mkdir -p "$HOME" "$ODBCSYSINI"
cp /etc/odbcinst.ini "$ODBCSYSINI/odbcinst.ini"
: >"$ODBCSYSINI/odbc.ini"
: >"$ODBCINI"
database="$XDG_DATA_HOME/verdanpost/vestro.db"

fail() {
  echo "FAIL: $*" >&2
  exit 1
}
defined() { odbcinst -q -s -n vestro >/dev/null 2>&1; }
tables() { sqlite3 "$database" "SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' ORDER BY name" | tr '\n' ' '; }

# The tables cannot be created (a file stands where the data folder
# belongs): no data source is left behind.
: >"$work/blocker"
if XDG_DATA_HOME="$work/blocker" VERDANPOST_LISTDB=$listdb "$script" 2>/dev/null; then
  fail "a failed creation succeeded"
fi
defined && fail "a data source was defined although its tables were not created"

# The next run completes the setup.
VERDANPOST_LISTDB=$listdb "$script" || fail "the setup failed"
defined || fail "no data source after the setup"
grep -q "^Database *= *$database\$" "$ODBCINI" || fail "vestro does not name $database: $(cat "$ODBCINI")"
[ "$(tables)" = "DeletedList ListMail MailingList " ] || fail "tables: $(tables)"

# Run again: the data and the definition stay as they are.
sqlite3 "$database" "INSERT INTO MailingList (\"E-Mail\") VALUES ('kept@x.test')"
cp "$ODBCINI" "$work/before.ini"
VERDANPOST_LISTDB=$listdb "$script" || fail "the second run failed"
cmp -s "$ODBCINI" "$work/before.ini" || fail "the second run changed the data source"
[ "$(sqlite3 "$database" "SELECT \"E-Mail\" FROM MailingList")" = "kept@x.test" ] ||
  fail "the second run changed the data"

# An operator's own "vestro" is left alone, and nothing is created for it.
rm -rf "$XDG_DATA_HOME"
printf '[vestro]\nDriver = PostgreSQL Unicode\nServername = db.example.org\n' >"$ODBCINI"
cp "$ODBCINI" "$work/before.ini"
VERDANPOST_LISTDB=$listdb "$script" || fail "an existing data source was not left alone"
cmp -s "$ODBCINI" "$work/before.ini" || fail "an existing data source was changed"
[ -e "$database" ] && fail "a database was created beside an existing data source"
echo "setup-datasource: all cases passed"
