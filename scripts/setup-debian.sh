#!/usr/bin/env bash
# Installs what Zentaro needs to build, run and test on Debian 12 (run as root).
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libqt6sql6-psql libqt6svg6 libgl-dev qt6-translations-l10n
  libsqlite3-dev libpq-dev libssl-dev libxml2-dev libxslt1-dev libcurl4-openssl-dev libqrencode-dev libcpp-httplib-dev
  libgtest-dev libgmock-dev
  postgresql postgresql-client
  xsltproc libxml2-utils poppler-utils fonts-dejavu-core file
  systemd desktop-file-utils
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$package")
done
if ((${#missing[@]})); then
  echo "Instalando: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
