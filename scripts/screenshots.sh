#!/usr/bin/env bash
# Takes the pictures shown in README.md: the program in demo mode under a
# virtual X server, written to docs/screenshots/.
set -euo pipefail
source "$(dirname "$0")/setup.sh"
okukipo_install_packages
okukipo_build "$OKUKIPO_ROOT/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -- okukipo okukipo_screenshots
export QTWEBENGINE_DISABLE_SANDBOX=1
export QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --no-sandbox"
cd "$OKUKIPO_ROOT/build/app"
xvfb-run -a -s "-screen 0 1440x900x24" ./okukipo_screenshots "$OKUKIPO_ROOT/docs/screenshots" >/dev/null
