#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and runs with.
set -euo pipefail
sudo_cmd=""
if [ "$(id -u)" -ne 0 ]; then sudo_cmd="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update
$sudo_cmd apt-get install -y --no-install-recommends \
  build-essential cmake ninja-build ccache pkg-config \
  qt6-base-dev libgl-dev \
  libsqlite3-dev sqlite3 \
  mdbtools mdbtools-dev \
  liblhasa-dev lhasa p7zip-full \
  libgtest-dev libgmock-dev libbenchmark-dev \
  xvfb xauth xdg-utils \
  dpkg-dev file lintian desktop-file-utils appstream \
  iproute2 \
  chromium poppler-utils
