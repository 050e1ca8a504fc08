#!/usr/bin/env bash
# Shared set-up for ./run, ./test, bench/run and scripts/screenshots.sh:
# install missing Debian packages, then configure and build incrementally.
# Source it; it defines okukipo_install_packages and okukipo_build.
set -euo pipefail

OKUKIPO_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"

okukipo_install_packages() {
    local missing=()
    local pkg
    while read -r pkg; do
        pkg="${pkg%%#*}"
        pkg="$(echo "$pkg" | tr -d '[:space:]')"
        [ -n "$pkg" ] || continue
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done < "$OKUKIPO_ROOT/packaging/debian-packages.txt"
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing missing packages: ${missing[*]}" >&2
    local sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

# okukipo_build BUILD_DIR [cmake args...] -- [build targets...]
okukipo_build() {
    local dir="$1"; shift
    local cmake_args=() targets=()
    while [ $# -gt 0 ] && [ "$1" != "--" ]; do cmake_args+=("$1"); shift; done
    [ $# -gt 0 ] && shift
    targets=("$@")
    local launcher=()
    command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
    if [ ! -f "$dir/CMakeCache.txt" ]; then
        cmake -S "$OKUKIPO_ROOT" -B "$dir" "${launcher[@]}" "${cmake_args[@]}" >&2
    else
        cmake "$dir" >/dev/null
    fi
    local target_args=()
    local t
    for t in "${targets[@]}"; do target_args+=(--target "$t"); done
    cmake --build "$dir" --parallel "$(nproc)" "${target_args[@]}" >&2
}
