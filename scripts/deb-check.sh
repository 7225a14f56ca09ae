#!/usr/bin/env bash
# Checks a built Debian package of reqwiz the way a user meets it:
#   scripts/deb-check.sh PACKAGE.deb PACKED_PROGRAM
# lintian (no errors), the desktop entry and the AppStream metadata it
# carries, then installs it on this machine (root, dpkg -i), checks that
# /usr/bin/reqwiz is PACKED_PROGRAM byte for byte, runs `reqwiz --version`,
# `reqwiz generate` with a small key and `reqwiz inspect` on the result, and
# removes the package again, whatever happened.
set -euo pipefail
deb=$1
packed=$2

if [ "$(id -u)" -ne 0 ]; then
    echo "deb-check: installing the package needs root" >&2
    exit 1
fi
# The check installs and removes the package itself: it never touches a
# reqwiz that was there before.
if dpkg-query -W -f='${db:Status-Status}' reqwiz 2>/dev/null | grep -qx installed ||
    [ -e /usr/bin/reqwiz ]; then
    echo "deb-check: reqwiz is already installed on this machine; remove it first" >&2
    exit 1
fi

work=$(mktemp -d)
installed=no
cleanup() {
    if [ "$installed" = yes ]; then
        dpkg --purge reqwiz >/dev/null
    fi
    rm -rf "$work"
    if [ -e /usr/bin/reqwiz ]; then
        echo "deb-check: /usr/bin/reqwiz is still there" >&2
        exit 1
    fi
}
trap cleanup EXIT

echo "== $(basename "$deb"): $(stat -c %s "$deb") bytes"
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"

echo "== lintian"
lintian --fail-on error --display-info --suppress-tags-from-file /dev/null "$deb"

dpkg-deb -x "$deb" "$work/root"
echo "== desktop-file-validate"
desktop-file-validate "$work/root/usr/share/applications/reqwiz.desktop"
echo "== appstreamcli validate"
appstreamcli validate --no-net "$work"/root/usr/share/metainfo/*.metainfo.xml

echo "== dpkg -i"
installed=yes
dpkg -i "$deb"
cmp /usr/bin/reqwiz "$packed"
/usr/bin/reqwiz --version

# A small key from the shipped profile, with the data page's fields, read
# back and checked by the program itself.
cat >"$work/campos.txt" <<'FIELDS'
DN_O=Comercial Peña SA
DN_CN_1=María
DN_CN_2=Ibáñez
DN_CN_3=León
DN_STREET_1=Reforma
DN_STREET_2=222
DN_STREET_3=4
DN_STREET_4=Centro
DN_POSTALCODE=06600
DN_C=MX
DN_S=Ciudad de México
DN_L=Cuauhtémoc
DN_UID_1=IALM
DN_UID_2=800101
DN_UID_3=AB1
DN_E=maria@example.com
DN_PHONE=5555555555
FIELDS
echo "== reqwiz generate"
(cd "$work" && echo Clave2026 | LC_ALL=C.UTF-8 /usr/bin/reqwiz generate --data campos.txt \
    --key llave --req solicitud --size 1024)
echo "== reqwiz inspect"
(cd "$work" && echo Clave2026 | LC_ALL=C.UTF-8 /usr/bin/reqwiz inspect solicitud.req --key llave.key)

echo "== dpkg --purge"
dpkg --purge reqwiz
installed=no
echo "deb-check: all checks passed"
