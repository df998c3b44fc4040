#!/usr/bin/env bash
# Installs what the build needs and is missing: Debian packages, then the
# npm package that the developer host serves for its docs page.
set -euo pipefail

packages=(
  build-essential cmake pkg-config g++-multilib clang-14 libclang-rt-14-dev
  rapidjson-dev libyaml-dev libgtest-dev libgmock-dev libbenchmark-dev
  libcpp-httplib-dev libmsgpack-dev nodejs npm curl
)

missing=()
for p in "${packages[@]}"; do
  # Node.js from elsewhere (for example NodeSource's nodejs, which carries
  # its own npm and conflicts with Debian's) serves as well.
  if [[ "$p" == nodejs || "$p" == npm ]] && command -v "${p/nodejs/node}" >/dev/null; then continue; fi
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}" \
    || { "${sudo_cmd[@]}" apt-get update && "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; }
fi

# Optional extras named on the command line (for example: chromium).
for extra in "$@"; do
  case "$extra" in
    chromium)
      command -v chromium >/dev/null || {
        sudo_cmd=(); [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
        DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends chromium \
          || { "${sudo_cmd[@]}" apt-get update && DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y --no-install-recommends chromium; }
      } ;;
    swagger-ui)
      dir="$(dirname "$0")/../build/web"
      if [ ! -f "$dir/node_modules/swagger-ui-dist/swagger-ui-bundle.js" ]; then
        mkdir -p "$dir"
        (cd "$dir" && npm install --no-audit --no-fund --silent swagger-ui-dist@5 >/dev/null)
      fi ;;
  esac
done
