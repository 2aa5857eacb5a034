#!/usr/bin/env bash
# Builds the Debian package from a build folder and checks that it works once installed.
#
#   bash scripts/check-package.sh [BUILD_DIR]             (the test suite runs this)
#   bash scripts/check-package.sh --install [BUILD_DIR]   (CI, as root on a throwaway machine)
#
# Always: `cpack -G DEB`; the package lists the command, the suite library, the QX417 plugin,
# the desktop entry and its icon, the systemd units and the documentation, and depends on the
# Qt SQLite and PostgreSQL drivers and Qt's Spanish texts; the maintainer scripts parse. Then
# it unpacks the package into a throwaway root (dpkg-deb -x: the files dpkg would write,
# without touching this machine) and, from that root: `zentaro --help` answers; the command
# resolves its library inside the root (ldd); it creates a demo SQLite database and
# `global-invoice --dry-run`, acting as tomorrow (a day's period closes at its end), finds the
# demo's groups, loading its plugin from the root's lib/zentaro/plugins (ZENTARO_PLUGIN_PATH
# unset); `systemd-analyze verify` accepts the service and timer, instantiated for one
# database (the service's command pointed at the root's copy).
# With --install, also the real thing: `apt-get install ./zentaro_*.deb` (dependencies from
# the archive), `zentaro --help` from /usr/bin, the zentaro account created, the timer
# installed but not enabled, `systemd-analyze verify` of the installed units, then
# `dpkg --purge` removes every file again.
set -euo pipefail
# Under pipefail, `producer | grep -q` fails at random: grep stops at its first match and the
# producer, still writing, dies of SIGPIPE. Every check reads a whole output saved in a
# variable instead.
root=$(cd "$(dirname "$0")/.." && pwd)
install=0
if [[ ${1:-} == --install ]]; then install=1; shift; fi
build=$(cd "${1:-${BUILD_DIR:-$root/build}}" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "check-package: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >/dev/null 2>"$work/cpack.log") || cat "$work/cpack.log" >&2
[[ -n $(ls "$work"/out/zentaro_*.deb 2>/dev/null) ]] || fail "cpack no generó el paquete"
deb=$(ls "$work"/out/zentaro_*.deb)
echo "paquete: $(basename "$deb") ($(du -h "$deb" | cut -f1))"

contents=$(dpkg-deb -c "$deb" | awk '{print $6}')
for path in ./usr/bin/zentaro ./usr/lib/zentaro/libzentaro-suite.so ./usr/lib/zentaro/plugins/QX417.so \
            ./usr/share/applications/zentaro.desktop ./usr/share/icons/hicolor/scalable/apps/zentaro.svg \
            ./usr/lib/systemd/system/zentaro-global-invoice@.service \
            ./usr/lib/systemd/system/zentaro-global-invoice@.timer \
            ./usr/share/doc/zentaro/README.md ./usr/share/doc/zentaro/global-invoice.conf.example; do
  grep -qxF "$path" <<<"$contents" || fail "falta $path en el paquete"
done
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6sql6-sqlite libqt6sql6-psql libqt6widgets6 qt6-translations-l10n adduser; do
  grep -q "\b$package\b" <<<"$depends" || fail "el paquete no depende de $package"
done
dpkg-deb -e "$deb" "$work/control"
for script in postinst postrm; do sh -n "$work/control/$script" || fail "$script no es un guion válido"; done
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$root/packaging/zentaro.desktop" || fail "la entrada de escritorio no es válida"
fi

# The package's files in a throwaway root.
fake="$work/root"
dpkg-deb -x "$deb" "$fake"
export QT_QPA_PLATFORM=offscreen HOME="$work/home" XDG_RUNTIME_DIR="$work/run"
mkdir -p "$HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset ZENTARO_PLUGIN_PATH
help=$("$fake/usr/bin/zentaro" --help) || fail "zentaro --help terminó con error"
grep -qF "zentaro global-invoice" <<<"$help" || fail "zentaro --help no responde"
libraries=$(ldd "$fake/usr/bin/zentaro") || fail "ldd no pudo leer zentaro"
grep -qF "$fake/usr/bin/../lib/zentaro/libzentaro-suite.so" <<<"$libraries" \
  || fail "zentaro no encuentra su biblioteca dentro de su árbol"
"$fake/usr/bin/zentaro" init --demo --db "$work/demo.sqlite" >/dev/null
# The demo's candidate notes are today's.
summary=$("$fake/usr/bin/zentaro" global-invoice --db "$work/demo.sqlite" --date "$(date +%F)" --today "$(date -d tomorrow +%F)" --dry-run 2>/dev/null | tail -1)
grep -q '"summary":true' <<<"$summary" && ! grep -q '"groups":0' <<<"$summary" \
  || fail "global-invoice --dry-run del paquete no encontró las notas del día de la demostración: $summary"

# The units as they would stand for one database, their command pointed at the root's copy.
units="$fake/usr/lib/systemd/system"
mkdir -p "$work/units"
sed "s#/usr/bin/zentaro#$fake/usr/bin/zentaro#" "$units/zentaro-global-invoice@.service" \
  >"$work/units/zentaro-global-invoice@demo.service"
cp "$units/zentaro-global-invoice@.timer" "$work/units/zentaro-global-invoice@demo.timer"
systemd-analyze verify "$work/units/zentaro-global-invoice@demo.service" "$work/units/zentaro-global-invoice@demo.timer" \
  || fail "systemd-analyze rechaza las unidades"
echo "árbol instalado: zentaro --help, biblioteca, módulo, global-invoice --dry-run y unidades de systemd correctos"

if ((install)); then
  [[ $(id -u) == 0 ]] || fail "--install necesita root"
  had_user=0; getent passwd zentaro >/dev/null && had_user=1
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
  help=$(/usr/bin/zentaro --help) || fail "zentaro instalado terminó con error"
  grep -qF "zentaro global-invoice" <<<"$help" || fail "zentaro instalado no responde"
  getent passwd zentaro >/dev/null || fail "no se creó la cuenta zentaro"
  [[ $(systemctl is-enabled zentaro-global-invoice@demo.timer 2>/dev/null || true) != enabled ]] \
    || fail "el temporizador quedó activado"
  cp /usr/lib/systemd/system/zentaro-global-invoice@.service "$work/zentaro-global-invoice@demo.service"
  cp /usr/lib/systemd/system/zentaro-global-invoice@.timer "$work/zentaro-global-invoice@demo.timer"
  systemd-analyze verify "$work/zentaro-global-invoice@demo.service" "$work/zentaro-global-invoice@demo.timer" \
    || fail "systemd-analyze rechaza las unidades instaladas"
  dpkg --purge zentaro >/dev/null
  [[ ! -e /usr/bin/zentaro && ! -e /usr/lib/zentaro ]] || fail "dpkg --purge dejó archivos"
  ((had_user)) || deluser --system zentaro >/dev/null 2>&1 || true
  echo "instalado con dpkg, probado y quitado"
fi
