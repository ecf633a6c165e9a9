#!/usr/bin/env bash
# tools/test_on.sh --arch ARCH, in a fresh root of ARCH under user-mode emulation: installs the
# package that build.sh made as its user would, with apt and its dependencies from Debian, and
# starts the installed program offscreen, which must end on SIGTERM with exit code 1. Then makes
# the system guest that runs the relay's test (guest_image.sh).
# Usage: tools/test_on_arch/target.sh ARCH     (from the repository's root)
set -euo pipefail
arch=$1
# shellcheck disable=SC1091  # checked on its own
source tools/quiet_step.sh

export DEBIAN_FRONTEND=noninteractive
run_quietly /tmp/apt-update.log apt-get -o DPkg::Lock::Timeout=600 update -q
run_quietly /tmp/apt-install.log apt-get -o DPkg::Lock::Timeout=600 install -y -q \
    ./build/package-"$arch"/quarnex_*_"$arch".deb
grep -E '^[0-9]+ upgraded, [0-9]+ newly installed' /tmp/apt-install.log
dpkg-query -W -f '${Package} ${Version} ${Architecture}: ${Status}\n' quarnex
tests/package/start_check.sh /usr/bin/quarnex
echo "the installed program ended on SIGTERM with exit code 1"
tools/test_on_arch/guest_image.sh "$arch" build/guest-"$arch"
