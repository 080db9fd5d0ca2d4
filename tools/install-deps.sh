#!/bin/sh
# Installs the Debian packages that building and testing qor need, asking
# apt-get only for those that are missing (so a machine that has them all does
# no network work).
set -e

packages="
  g++ cmake ninja-build make pkg-config
  libgtest-dev libssl-dev libcurl4-openssl-dev
  python3 clang gzip zstd tmux xvfb xclip curl
  libncurses-dev
  libpng-dev libjpeg62-turbo-dev libgif-dev libtiff-dev imagemagick
  lua5.4
"

missing=""
for p in $packages; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing="$missing $p"
  fi
done

if [ -n "$missing" ]; then
  echo "installing:$missing"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq $missing
fi
