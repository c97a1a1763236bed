#!/usr/bin/env bash
# Gives the user the "vestro" data source on an SQLite file when none exists,
# through the code the console itself runs on its first start
# (verdanpost-listdb setup-default): the database file with the list tables
# under the user's XDG data directory, then the data source in the user's
# ODBC ini file (~/.odbc.ini, or $ODBCINI) with the "SQLite3" driver. An
# existing data source or database file is never replaced. Says one line when
# it created something, nothing otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."

listdb=${VERDANPOST_LISTDB:-build/bin/verdanpost-listdb}
exec "$listdb" setup-default
