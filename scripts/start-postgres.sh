#!/usr/bin/env bash
# Starts the local PostgreSQL 15 cluster and makes sure the test role and database exist.
set -euo pipefail
if ! pg_lsclusters -h 2>/dev/null | grep -q '^15 *main'; then
  pg_createcluster 15 main >/dev/null
fi
if ! pg_lsclusters -h | awk '$1==15 && $2=="main" {print $4}' | grep -q online; then
  pg_ctlcluster --skip-systemctl-redirect 15 main start
fi
for _ in $(seq 1 30); do
  su postgres -c "pg_isready -q" && break
  sleep 1
done
su postgres -c "psql -qtAc \"SELECT 1 FROM pg_roles WHERE rolname = 'zentaro'\"" | grep -q 1 ||
  su postgres -c "psql -qc \"CREATE ROLE zentaro LOGIN PASSWORD 'zentaro' SUPERUSER\""
su postgres -c "psql -qtAc \"SELECT 1 FROM pg_database WHERE datname = 'zentaro_test'\"" | grep -q 1 ||
  su postgres -c "createdb -O zentaro zentaro_test"
# Tests also reach the server over its local socket as the system user who runs them (peer
# authentication), so that user gets a role of the same name.
login=$(id -un)
su postgres -c "psql -qtAc \"SELECT 1 FROM pg_roles WHERE rolname = '$login'\"" | grep -q 1 ||
  su postgres -c "psql -qc 'CREATE ROLE \"$login\" LOGIN'"
su postgres -c "psql -qc 'GRANT CREATE ON DATABASE zentaro_test TO \"$login\"'"
