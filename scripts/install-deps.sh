#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the program need.
# Idempotent: does nothing when everything is already there.
set -euo pipefail

packages=(
  g++ cmake pkg-config make
  libwxgtk3.2-dev libgl-dev libglu1-mesa-dev
  libopenblas-dev liblapacke-dev libsuitesparse-dev
  libgtest-dev
  xvfb xauth libgl1-mesa-dri xdotool x11-apps
  python3 python3-ezdxf
  clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=()
  [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq >/dev/null
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends -qq "${missing[@]}" >/dev/null
fi
