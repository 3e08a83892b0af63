# shellcheck shell=bash
# Sourced by package.sh and package-test.sh: a fresh Debian 12 tree
# (debootstrap --variant=minbase bookworm, from deb.debian.org) to build or
# test in, apart from this machine's own packages. As root.
#
# The minbase tree is kept as a tarball, and the packages apt fetches into
# the trees are kept too, under /var/cache/tessaro-ci (or $TESSARO_CI_CACHE),
# to make reruns faster; without them, debootstrap and apt fetch everything.

chroot_cache=${TESSARO_CI_CACHE:-/var/cache/tessaro-ci}

# chroot_release ROOT: ends whatever still runs in the tree and unmounts it.
chroot_release() {
  local root=$1 pid m
  for pid in /proc/[0-9]*; do
    if [[ $(readlink "$pid/root" 2>/dev/null) == "$root" ]]; then kill -9 "${pid#/proc/}" 2>/dev/null || true; fi
  done
  for m in "$root/var/cache/apt/archives" "$root/proc" "$root/dev"; do
    if mountpoint -q "$m"; then umount -R "$m"; fi
  done
}

# chroot_fresh ROOT LOG: makes ROOT a fresh tree, mounted and ready for apt.
# The caller releases it (trap 'chroot_release ROOT' EXIT).
chroot_fresh() {
  local root=$1 log=$2 base
  base=$chroot_cache/bookworm-minbase-$(dpkg --print-architecture).tar
  chroot_release "$root"
  rm -rf --one-file-system "$root"
  mkdir -p "$root" "$chroot_cache/archives/partial"
  if [[ ! -f $base ]]; then
    command -v debootstrap >/dev/null ||
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap
    echo "debootstrap bookworm, kept as $base"
    debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$log" 2>&1 ||
      { tail -n 20 "$log"; return 1; }
    tar -C "$root" -cf "$base.tmp" . && mv "$base.tmp" "$base"
  else
    tar -C "$root" -xf "$base"
  fi
  mount -t proc proc "$root/proc"
  mount --rbind /dev "$root/dev"  # with /dev/pts, for dpkg's terminal log
  mount --make-rslave "$root/dev"
  mount --bind "$chroot_cache/archives" "$root/var/cache/apt/archives"  # apt-get keeps what it fetched
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  cat >"$root/etc/apt/sources.list" <<'EOF'
deb http://deb.debian.org/debian bookworm main
deb http://deb.debian.org/debian bookworm-updates main
deb http://deb.debian.org/debian-security bookworm-security main
EOF
  # No service starts in the tree, as in Debian's own build and test tools.
  printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
  chmod 0755 "$root/usr/sbin/policy-rc.d"
}

# in_chroot ROOT COMMAND...: runs COMMAND in the tree, apt without questions.
in_chroot() {
  local root=$1
  shift
  chroot "$root" env DEBIAN_FRONTEND=noninteractive LC_ALL=C.UTF-8 "$@"
}
