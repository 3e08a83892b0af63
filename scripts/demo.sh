#!/usr/bin/env bash
# Sets up, builds and runs the demo installation in demo-run/: one device of
# every kind, the serial and network ones played by the simulators of tools/,
# the relay board without hardware, and the web gateway on port 8080. ESC or
# Ctrl-C ends the server, the gateway and the simulators.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh build

top=$PWD
tools=$top/build/tools
rm -rf demo-run
mkdir -p demo-run/run demo-run/debug
cp -r examples/demo/. demo-run/run/
cd demo-run/run

pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
}
trap cleanup EXIT

# Simulator output goes to demo-run/*.log, so the console shows Tessaro alone.
"$tools/netio_sim" --port 19230 >../netio.log 2>&1 & pids+=($!)
"$tools/hb628_sim" --link ./hb628.tty >../hb628.log 2>&1 & pids+=($!)
"$tools/leveljet_sim" --link ./leveljet.tty >../leveljet.log 2>&1 & pids+=($!)
"$tools/klimalogg_sim" --file ./KlimaLogg.dat1 --interval 20 >../klimalogg.log 2>&1 & pids+=($!)
for link in hb628.tty leveljet.tty KlimaLogg.dat1; do
  for _ in $(seq 50); do [ -e "$link" ] && break; sleep 0.1; done
done
# The web page; it shows the server as down until the server below has started.
"$top/build/tessaro_gateway" --http 127.0.0.1:8080 >../gateway.log 2>&1 & pids+=($!)

cat <<EOT

Tessaro demo installation in $top/demo-run/run
  Web page:      http://127.0.0.1:8080/  (tessaro_gateway; its output in $top/demo-run/gateway.log)
  Status files:  $top/demo-run/debug/fast.xml and slow.xml
  Event log:     $top/demo-run/run/logfile.txt
  Simulators:    $top/demo-run/*.log (kill -USR1 a simulator to make it fall silent)
  Switch a channel from another terminal:
    $tools/tessaro_client dout 0 ein
    printf 'cmd=dout&username=demo&outn=5&mode=ein\r\n' | nc -q1 127.0.0.1 1969
  ESC or Ctrl-C ends the demo.
EOT

"$top/build/tessaro"
