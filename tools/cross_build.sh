# shellcheck shell=bash
# Sourced by the tools that build for another Debian architecture on this machine:
# cross_build_settings ARCH fills cross_arguments with CMake's settings for ARCH. The compiler is
# Debian's cross compiler (crossbuild-essential-ARCH); the libraries, Qt's among them, are
# ARCH's own packages, installed beside the host's through multiarch (qt6-base-dev:ARCH) and
# found by CMake under /usr/lib/TRIPLET; Qt's build tools are the host's (QT_HOST_PATH). Only
# ARCH's pkg-config may answer, never the host's, which would name the host's libraries.
cross_build_settings() {
    local triplet cpu
    triplet=$(dpkg-architecture -a "$1" -qDEB_HOST_GNU_TYPE 2> /dev/null)
    cpu=$(dpkg-architecture -a "$1" -qDEB_HOST_GNU_CPU 2> /dev/null)
    # shellcheck disable=SC2034  # the caller's
    cross_arguments=(-DCMAKE_SYSTEM_NAME=Linux -DCMAKE_SYSTEM_PROCESSOR="$cpu"
        -DCMAKE_CXX_COMPILER="$triplet-g++" -DPKG_CONFIG_EXECUTABLE="$triplet-pkg-config"
        -DQT_HOST_PATH=/usr)
}
