#!/usr/bin/env bash
# Installs every Debian package the project needs. Idempotent: quiet when all is there.
set -euo pipefail

PACKAGES=(
  cmake ninja-build pkg-config g++ clang-format ccache
  qt6-base-dev libqt6opengl6-dev libgl1-mesa-dri libglx-mesa0 fontconfig fonts-dejavu-core
  xvfb xauth x11-utils x11-apps xdotool openbox trayer dbus-daemon dbus-x11 libdbus-1-dev
  libavformat-dev libavcodec-dev libswscale-dev libswresample-dev libavutil-dev ffmpeg
  libturbojpeg0-dev libjpeg62-turbo-dev libplist-dev libminizip-dev zlib1g-dev unzip
  pulseaudio pulseaudio-utils libpulse-dev
  libxcb1-dev libxcb-shm0-dev libxcb-damage0-dev libxcb-xfixes0-dev libxcb-randr0-dev
  libxcb-image0-dev libxcb-keysyms1-dev libxcb-xinput-dev libxcb-xtest0-dev x11proto-dev
  linux-libc-dev libtiff-dev qt6-image-formats-plugins
  libespeak-ng-dev espeak-ng libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev lld time
  # The composition fixture writer and the importer field walker of the document tests.
  python3
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "setup: installing ${#missing[@]} package(s): ${missing[*]}"
SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
echo "setup: done"
