#!/usr/bin/env bash
# Builds Tessaro's Debian packages, tessaro and tessaro-gateway, and checks
# them with lintian. As root on Debian 12; installs what it needs with apt.
#
#   bash scripts/package.sh          for this machine, into dist/ (without the
#                                    tests: scripts/test.sh runs them)
#   bash scripts/package.sh ARCH     cross-built for ARCH (arm64) into
#                                    dist/ARCH/, with the unit tests run under
#                                    qemu-user, and the server started under it
#
# Both build a copy of the work tree (its tracked and untracked files, not
# what .gitignore names) in build-deb/ARCH/, so that dpkg-buildpackage
# writes nothing beside the tree. A cross build runs in a fresh bookworm
# tree of its own (scripts/chroot.sh), as Debian's build daemons do: the
# ARCH development packages cannot all be installed beside this machine's
# own (libftdi1-dev is one architecture's only), and they pull this
# machine's C library to their version.
set -euo pipefail
cd "$(dirname "$0")/.."
tree=$(pwd)
export DEBIAN_FRONTEND=noninteractive

native=$(dpkg --print-architecture)
arch=${1:-$native}
work=$tree/build-deb/$arch

missing=()
for p in dpkg-dev debhelper lintian iproute2; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [[ ${#missing[@]} -gt 0 ]]; then
  echo "Installing: ${missing[*]}"
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

version=$(dpkg-parsechangelog -S Version)
upstream=${version%-*}

# copy_tree DIR: the work tree's files into DIR.
copy_tree() {
  mkdir -p "$1"
  git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' f; do if [[ -e $f || -L $f ]]; then printf '%s\0' "$f"; fi; done |
    tar --null -T - -cf - | tar -xf - -C "$1"
}

# built LOG STATUS: shows the end of a failed build, or the tests' verdict.
built() {
  if [[ $2 -ne 0 ]]; then
    tail -n 60 "$1"
    echo "package.sh: the build failed; the whole log is $1" >&2
    exit 1
  fi
  grep -E '^\[  (PASSED|FAILED)  \]' "$1" || true
}

status=0
if [[ $arch == "$native" ]]; then
  out=$tree/dist
  if ! dpkg-checkbuilddeps -P nocheck debian/control 2>/dev/null; then
    echo "Installing the build dependencies"
    apt-get update -qq
    apt-get build-dep -y -qq --no-install-recommends -P nocheck ./
  fi
  rm -rf "$work"
  copy_tree "$work/tessaro-$upstream"
  echo "Building tessaro $version for $arch without the tests (log: $work/build.log)"
  (cd "$work/tessaro-$upstream" && DEB_BUILD_OPTIONS="parallel=2 nocheck" \
    dpkg-buildpackage -b -us -uc -Pnocheck) >"$work/build.log" 2>&1 || status=$?
  built "$work/build.log" $status
  debs=$work
else
  out=$tree/dist/$arch
  . scripts/chroot.sh
  root=$work/root
  trap 'chroot_release "$root"' EXIT
  echo "A fresh bookworm tree for the $arch build in $root"
  mkdir -p "$work"
  chroot_fresh "$root" "$work/debootstrap.log"
  qemu=(qemu-"$(dpkg-architecture -a "$arch" -q DEB_HOST_GNU_CPU 2>/dev/null)" -L /)  # as debian/rules
  copy_tree "$root/build/tessaro-$upstream"
  echo "Installing the cross tools and the $arch build dependencies (log: $work/setup.log)"
  in_chroot "$root" sh -ec "dpkg --add-architecture $arch
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends build-essential crossbuild-essential-$arch
    cd /build/tessaro-$upstream && apt-get build-dep -y -qq --no-install-recommends -a $arch -P cross ./" \
    >"$work/setup.log" 2>&1 || { tail -n 30 "$work/setup.log"; exit 1; }
  echo "Building tessaro $version for $arch, its unit tests under ${qemu[0]} (log: $work/build.log)"
  in_chroot "$root" sh -c "cd /build/tessaro-$upstream &&
    DEB_BUILD_OPTIONS='parallel=2 crossbuildcanrunhostbinaries' dpkg-buildpackage -b -us -uc -a$arch -Pcross" \
    >"$work/build.log" 2>&1 || status=$?
  built "$work/build.log" $status
  debs=$root/build
fi

mkdir -p "$out"
rm -f "$out"/*.deb
for p in tessaro tessaro-gateway; do cp "$debs/${p}_${version}_$arch.deb" "$out/"; done
ls -l "$out"/*.deb

lintian --fail-on error,warning --display-info "$debs/tessaro_${version}_$arch.changes"
echo "lintian: no error, no warning"

if [[ $arch != "$native" ]]; then
  # The built server on the emulator: a scratch installation with the
  # packaged configuration, in a network of its own so that port 1969 is
  # this test's alone.
  rm -rf "$root/smoke"
  mkdir -p "$root/smoke/files" "$root/smoke/run" "$root/smoke/debug"
  for p in tessaro tessaro-gateway; do dpkg-deb -x "$out/${p}_${version}_$arch.deb" "$root/smoke/files"; done
  cp "$root/smoke/files/etc/tessaro/Tessaro.ini" "$root/smoke/run/"
  unshare --net bash -c 'ip link set lo up && exec chroot "$1" bash -euo pipefail -c "$2" smoke "${@:3}"' \
    smoke "$root" '
    qemu=("$@")
    bin=/smoke/files/usr/bin
    cd /smoke/run
    "${qemu[@]}" $bin/tessaro </dev/null >console.txt 2>&1 &
    server=$!
    alive() { kill -0 $server 2>/dev/null || { cat console.txt; echo "the server ended" >&2; exit 1; }; }
    for ((i = 0; i < 600; i++)); do   # the client exits 3 while nothing listens
      status=0
      reply=$("${qemu[@]}" $bin/tessaro_client --timeout 1000 --raw "cmd=debug&username=x&enaoutp=1" 2>/dev/null) ||
        status=$?
      [[ $status -ne 3 ]] && break
      alive
      sleep 0.1
    done
    [[ $status -eq 0 && $reply == "$(printf "ok\r")" ]] ||
      { cat console.txt; echo "no ok from the server: $reply" >&2; exit 1; }
    for ((i = 0; i < 600; i++)); do
      [[ -s ../debug/fast.xml ]] && break
      alive
      sleep 0.1
    done
    [[ -s ../debug/fast.xml ]] || { echo "no ../debug/fast.xml" >&2; exit 1; }
    "${qemu[@]}" $bin/tessaro_gateway --help >/dev/null
    kill -TERM $server
    wait $server
    grep -q "Tessaro beendet" logfile.txt
  ' "${qemu[@]}"
  echo "$arch: the server under ${qemu[0]} answered ok on port 1969, wrote ../debug/fast.xml and stopped cleanly"
  chroot_release "$root"
  trap - EXIT
  rm -rf --one-file-system "$root"
fi
