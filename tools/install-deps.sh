#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, only those that are missing.
set -euo pipefail
# qt6-base-dev: the window; xvfb, xauth, imagemagick: screenshots under a real X server;
# mariadb-server/-client: round trips of saved data through a private server;
# unixodbc-dev, odbc-mariadb: saving into a server.
packages=(build-essential cmake g++ pkg-config googletest libgtest-dev xz-utils clang libclang-rt-14-dev
          qt6-base-dev libgl-dev xvfb xauth imagemagick mariadb-server mariadb-client python3
          unixodbc-dev odbc-mariadb)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq "${missing[@]}"
fi
