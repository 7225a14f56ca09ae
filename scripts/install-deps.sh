#!/usr/bin/env bash
# Installs the Debian packages the project needs, and only those that are
# missing. Safe to run again: with everything present it does nothing.
#   scripts/install-deps.sh [build|browser|fuzz|package]...
# "build" (the default) is what compiling and the unit tests need; "browser"
# adds Chromium (with fonts and its Spanish texts) and Node.js for the
# end-to-end tests and `make run`, and a virtual display for the window tests;
# "fuzz" adds clang and its runtime libraries (libFuzzer and the sanitizers)
# for `make fuzz-smoke`; "package" is what `make deb` and `make deb-check`
# need: dpkg-shlibdeps (dpkg-dev, file) for the package's dependencies, and
# lintian, desktop-file-validate and appstreamcli to check what it installs.
set -euo pipefail

build_packages=(
    cmake make ninja-build g++ pkg-config
    libgtest-dev libgmock-dev
    # GMP: the anchor of the benchmark bench_keygen_gmp; the program never links it.
    libgmp-dev
    openssl gnutls-bin libnss3-tools python3-cryptography
    libzip-dev libminizip-dev libpugixml-dev nlohmann-json3-dev
    # GIO's D-Bus client, for the desktop's file-chooser portal; the tests'
    # stand-in portal is written with sd-bus, on a private bus of dbus-daemon.
    libglib2.0-dev libsystemd-dev dbus-daemon
)
# chromium-l10n holds the browser's own texts in Spanish (and the user's
# language); xvfb, x11-utils and x11-xserver-utils give the window tests a
# display of their own and a look at the window on it (xwininfo, xrandr).
browser_packages=(chromium chromium-l10n fonts-liberation nodejs npm xvfb x11-utils x11-xserver-utils)
fuzz_packages=(clang libclang-rt-dev)
package_packages=(dpkg-dev file lintian desktop-file-utils appstream)
# A browser tool already on PATH counts as present whatever package brought
# it: Node.js from another source carries its own npm, and Debian's npm
# package would conflict with it.
declare -A command_of=([chromium]=chromium [nodejs]=node [npm]=npm)

wanted=()
for group in "${@:-build}"; do
    case "$group" in
        build) wanted+=("${build_packages[@]}") ;;
        browser) wanted+=("${browser_packages[@]}") ;;
        fuzz) wanted+=("${build_packages[@]}" "${fuzz_packages[@]}") ;;
        package) wanted+=("${package_packages[@]}") ;;
        *) echo "install-deps: unknown group '$group'" >&2; exit 2 ;;
    esac
done

missing=()
for pkg in "${wanted[@]}"; do
    if [ -n "${command_of[$pkg]:-}" ] && command -v "${command_of[$pkg]}" >/dev/null; then
        continue
    fi
    status=$(dpkg-query -W -f='${db:Status-Status}' "$pkg" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "install-deps: installing ${missing[*]}"
as_root=()
if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo to install ${missing[*]}" >&2; exit 1; }
    as_root=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get update -qq
"${as_root[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
