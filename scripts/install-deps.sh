#!/usr/bin/env bash
# Installs the Debian 12 packages the build, the application and the tests need.
# Idempotent and quiet when everything is already there.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang-format
    qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite qt6-svg-dev qt6-image-formats-plugins
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools qt6-translations-l10n qt6-qpa-plugins libgl-dev
    adwaita-icon-theme shared-mime-info desktop-file-utils librsvg2-common
    libsqlite3-dev libx11-dev libx11-xcb-dev libxcb1-dev libxtst-dev libxi-dev libxfixes-dev
    libgtest-dev libgmock-dev libbenchmark-dev libgumbo-dev
    fonts-dejavu-core fonts-droid-fallback fonts-noto-color-emoji
    xvfb xauth x11-utils x11-xkb-utils xkb-data xclip xdotool xterm openbox trayer dbus python3 python3-h2
    python3-gi gir1.2-gtk-3.0 pcmanfm
)
missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    SUDO=sudo
else
    SUDO=
fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq "${missing[@]}" >/dev/null
