#!/usr/bin/env bash
# Installs the Debian 12 packages VarBuild needs, only those that are missing.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    libexpat1-dev zlib1g-dev libbluetooth-dev libdbus-1-dev dbus-daemon
    # the over-the-air server and its QR code; the real clients and the QR
    # decoder its tests use
    libmicrohttpd-dev libqrencode-dev curl wget chromium zbar-tools
    googletest libgtest-dev libgmock-dev libbenchmark-dev
    qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev
    zip unzip python3 default-jdk-headless lighttpd
    desktop-file-utils shared-mime-info lintian libxml2-utils
    xdg-utils libglib2.0-bin dpkg-dev file
    # the sanitizer pass and the fuzz targets: clang with its sanitizer and
    # fuzzer runtimes, its linker, and llvm-symbolizer for readable reports
    clang libclang-rt-14-dev lld llvm
    # a compiler cache and a compile farm, for the compiler launcher's tests
    ccache distcc
    # GNU time: wall time and peak memory in bench/lintel_bench.sh
    time
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
