#!/usr/bin/env bash
# Sets Tessaro up as a systemd service after `cmake --install`. Run as root:
#
#   PREFIX/share/tessaro/setup-service.sh [PREFIX]
#
# PREFIX is the install prefix (default: the one this script was installed
# under). Creates the user "tessaro", the working directory
# /var/lib/tessaro/run with /var/lib/tessaro/debug beside it, copies the
# example Tessaro.ini there unless one exists, installs the unit as
# /etc/systemd/system/tessaro.service and enables it. Running it again is
# safe: an existing Tessaro.ini is never touched.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
prefix=${1:-$(cd "$here/../.." && pwd)}
program=$prefix/bin/tessaro
example=$prefix/share/tessaro/example
unit=$prefix/share/tessaro/tessaro.service
state=/var/lib/tessaro

[[ $(id -u) -eq 0 ]] || { echo "setup-service.sh: run it as root" >&2; exit 1; }
for f in "$program" "$example/Tessaro.ini" "$unit"; do
  [[ -e $f ]] || { echo "setup-service.sh: $f is missing; give the install prefix" >&2; exit 1; }
done

if ! id -u tessaro >/dev/null 2>&1; then
  useradd --system --home-dir "$state" --no-create-home --shell /usr/sbin/nologin tessaro
fi
for group in dialout plugdev; do
  if getent group "$group" >/dev/null; then usermod -a -G "$group" tessaro; fi
done

install -d -o tessaro -g tessaro -m 0755 "$state" "$state/run" "$state/debug"
if [[ ! -e $state/run/Tessaro.ini ]]; then
  install -o tessaro -g tessaro -m 0644 "$example/Tessaro.ini" "$state/run/Tessaro.ini"
  echo "Example configuration copied to $state/run/Tessaro.ini: edit it before starting."
fi

sed "s|^ExecStart=.*|ExecStart=$program|" "$unit" >/etc/systemd/system/tessaro.service
chmod 0644 /etc/systemd/system/tessaro.service
systemctl daemon-reload
systemctl enable tessaro.service
echo "Enabled. Start it with: systemctl start tessaro"
