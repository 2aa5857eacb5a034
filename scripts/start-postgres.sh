#!/usr/bin/env bash
# Starts the local PostgreSQL 15 cluster and makes sure the test role and database exist.
set -euo pipefail
# Outputs are read whole before they are tested: `command | grep -q` under pipefail fails
# whenever grep quits before the command has written everything.
clusters=$(pg_lsclusters -h 2>/dev/null || true)
if ! grep -q '^15 *main' <<<"$clusters"; then
  pg_createcluster 15 main >/dev/null
fi
state=$(pg_lsclusters -h | awk '$1==15 && $2=="main" {print $4}')
if [[ $state != online ]]; then
  pg_ctlcluster --skip-systemctl-redirect 15 main start
fi
for _ in $(seq 1 30); do
  su postgres -c "pg_isready -q" && break
  sleep 1
done
role=$(su postgres -c "psql -qtAc \"SELECT 1 FROM pg_roles WHERE rolname = 'zentaro'\"")
[[ $role == 1 ]] ||
  su postgres -c "psql -qc \"CREATE ROLE zentaro LOGIN PASSWORD 'zentaro' SUPERUSER\""
database=$(su postgres -c "psql -qtAc \"SELECT 1 FROM pg_database WHERE datname = 'zentaro_test'\"")
[[ $database == 1 ]] ||
  su postgres -c "createdb -O zentaro zentaro_test"
# Tests also reach the server over its local socket as the system user who runs them (peer
# authentication), so that user gets a role of the same name.
login=$(id -un)
own_role=$(su postgres -c "psql -qtAc \"SELECT 1 FROM pg_roles WHERE rolname = '$login'\"")
[[ $own_role == 1 ]] ||
  su postgres -c "psql -qc 'CREATE ROLE \"$login\" LOGIN'"
su postgres -c "psql -qc 'GRANT CREATE ON DATABASE zentaro_test TO \"$login\"'"
