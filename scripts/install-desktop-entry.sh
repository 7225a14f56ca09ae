#!/usr/bin/env bash
# Installs the wizard's desktop entry and icon for the current user (for a
# program built from source; the package installs the same files for
# everyone), so that the desktop shows the program's name and icon for its
# window: the entry's StartupWMClass is the window's class ("reqwiz", which
# the program gives its browser window).
#   scripts/install-desktop-entry.sh PROGRAM [DATA_HOME]
# PROGRAM is the packed program to start; DATA_HOME defaults to
# $XDG_DATA_HOME, else ~/.local/share.
set -euo pipefail

program=${1:?usage: install-desktop-entry.sh PROGRAM [DATA_HOME]}
program=$(realpath "$program")
data_home=${2:-${XDG_DATA_HOME:-$HOME/.local/share}}
here=$(cd "$(dirname "$0")/.." && pwd)

mkdir -p "$data_home/applications" "$data_home/icons/hicolor/scalable/apps"
install -m 0644 "$here/packaging/icons/reqwiz.svg" \
    "$data_home/icons/hicolor/scalable/apps/reqwiz.svg"
# The package's own entry, started with this program instead of the
# installed one (quoted as desktop entries quote: \ and " escaped).
quoted=${program//\\/\\\\}
quoted=${quoted//\"/\\\"}
quoted=${quoted//&/\\&}
quoted=${quoted//|/\\|}
entry="$data_home/applications/reqwiz.desktop"
sed "s|^Exec=reqwiz\$|Exec=\"$quoted\"|" "$here/packaging/reqwiz.desktop" > "$entry.tmp"
mv "$entry.tmp" "$entry"
echo "install-desktop-entry: $entry"
