#!/usr/bin/env bash
# Creates the user's "vestro" data source on an SQLite file when none exists:
# the database file under the user's XDG data directory, the data source in
# the user's ODBC ini file (~/.odbc.ini, or $ODBCINI) with the "SQLite3"
# driver, and the list tables. An existing data source or database file is never touched.
# Quiet and idempotent.
set -euo pipefail
cd "$(dirname "$0")/.."

listdb=${VERDANPOST_LISTDB:-build/bin/verdanpost-listdb}

if odbcinst -q -s -n vestro >/dev/null 2>&1; then
  exit 0  # configured already, by us or by the operator
fi

data_dir="${XDG_DATA_HOME:-$HOME/.local/share}/verdanpost"
database="$data_dir/vestro.db"
mkdir -p "$data_dir"

# The tables first, through the driver directly: a data source is defined
# only once its database holds them, so a failed first run is retried by the
# next instead of leaving "vestro" on a database without tables. Creates the
# file when missing and only the tables that are missing.
"$listdb" create-tables "Driver=SQLite3;Database=$database;Timeout=5000"

template=$(mktemp)
trap 'rm -f "$template"' EXIT
cat >"$template" <<INI
[vestro]
Description = Verdanpost subscribers
Driver = SQLite3
Database = $database
Timeout = 5000
INI
# -h: the user's data sources, not the system's.
odbcinst -i -s -h -f "$template" >/dev/null
