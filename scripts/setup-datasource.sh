#!/usr/bin/env bash
# Creates the user's "vestro" data source on an SQLite file when none exists.
set -euo pipefail
echo "setup-datasource: not yet written" >&2
