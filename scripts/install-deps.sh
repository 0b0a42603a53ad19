#!/usr/bin/env bash
# Installs every package the build, the tests, the benchmarks and the demo need (Debian 12, as root).
set -euo pipefail

PACKAGES=(cmake g++ make googletest libgtest-dev libgmock-dev libbenchmark-dev qt6-base-dev qt6-svg-dev libglib2.0-dev
          clang libclang-rt-14-dev xvfb xauth scrot xdotool python3-yenc
          inn2 sharutils mpack python3 clang-format perl procps)

pkg_ok() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q '^install ok installed$'; }

missing=()
for p in "${PACKAGES[@]}"; do pkg_ok "$p" || missing+=("$p"); done
[ ${#missing[@]} -eq 0 ] && exit 0

[ "$(id -u)" = 0 ] || { echo "install-deps: run as root to install: ${missing[*]}" >&2; exit 1; }
export DEBIAN_FRONTEND=noninteractive

# The inn2 postinst would start a system-wide innd; policy-rc.d (exit 101) forbids that.
made_policy=""
if [ ! -e /usr/sbin/policy-rc.d ]; then
    printf '#!/bin/sh\nexit 101\n' > /usr/sbin/policy-rc.d
    chmod 755 /usr/sbin/policy-rc.d
    made_policy=1
    trap 'rm -f /usr/sbin/policy-rc.d' EXIT
fi

# The inn2 postinst fails when the host name has no domain; a domain in inn.conf mends it.
fix_inn_conf() {
    local conf=/etc/news/inn.conf
    [ -f "$conf" ] || return 0
    if ! /usr/lib/news/bin/innconfval pathdb >/dev/null 2>&1; then
        if grep -qE '^[#[:space:]]*domain:' "$conf"; then
            sed -i -E 's/^[#[:space:]]*domain:.*$/domain: localdomain/' "$conf"
        else
            echo 'domain: localdomain' >> "$conf"
        fi
    fi
}

apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}" || true
if ! pkg_ok inn2; then
    fix_inn_conf
    dpkg --configure -a || true
fi
for p in "${PACKAGES[@]}"; do
    pkg_ok "$p" || { echo "install-deps: $p could not be installed" >&2; exit 1; }
done
