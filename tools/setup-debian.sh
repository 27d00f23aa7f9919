#!/usr/bin/env bash
# Installs the Debian 12 packages the game builds and runs with, when missing.
set -euo pipefail
packages=(
  build-essential cmake ninja-build pkg-config clang
  googletest libgtest-dev libgmock-dev libbenchmark-dev
  libsdl2-dev libgl-dev libgl1-mesa-dri libegl-dev libpng-dev libfreetype-dev
  libfontconfig-dev libfontconfig1
  libopenal-dev libopenal1 libvorbis-dev libimgui-dev fonts-noto-cjk
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "setup-debian: all ${#packages[@]} packages already present; nothing installed."
  exit 0
fi
echo "setup-debian: installing ${#missing[@]} of ${#packages[@]} packages: ${missing[*]}"
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
echo "setup-debian: installed ${missing[*]}; the other $(( ${#packages[@]} - ${#missing[@]} )) were already present."

