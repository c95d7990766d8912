#!/usr/bin/env bash
# Installs every Debian package that the build, the tests and the demo need.
set -euo pipefail
packages=(
  build-essential g++ cmake pkg-config
  unixodbc unixodbc-dev odbcinst
  libcurl4-openssl-dev libssl-dev openssl ca-certificates
  liblog4cplus-dev libboost-dev libncurses-dev
  googletest libgtest-dev
  clang libclang-rt-14-dev clang-format git
  python3 python3-pyodbc
  valgrind
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  SUDO=""
  [ "$(id -u)" -eq 0 ] || SUDO=sudo
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
