#!/usr/bin/env bash
# The whole installation of Morvantile, as ./x run shows it: the maker backend
# serves the demo product's package on the installer's built-in endpoints, a
# fake default browser runs, the installer is started from the user's
# Downloads folder and clicked through like a user ("立即安装", then
# "立即体验"), and the run prints where the product went, its version, the
# events the collector received in order, and the screenshot folder. When the
# prefix has the product already, the installer shows its reinstall reminder
# and the run ends there.
#   WINEPREFIX            the prefix (./x run: .run/prefix)
#   DISPLAY               where the windows appear (./x run starts an Xvfb when none)
#   PELMAR_BIN            folder of install.exe (default build/windows/bin)
#   PELMAR_SHOTS          screenshot folder (default .run/screenshots/<time>)
#   PELMAR_TIMEOUT_SCALE  stretches every wait (Wine under qemu emulation)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
: "${DISPLAY:?a display is needed}"
: "${WINEPREFIX:?the Wine prefix to install into is needed}"
exec /usr/bin/python3 -B "$root/tests/whole_installation.py" run
