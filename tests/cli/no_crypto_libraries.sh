#!/bin/sh
# The program loads no crypto library: its cryptography is its own.
#   no_crypto_libraries.sh PROGRAM
set -eu
libraries=$(ldd "$1")
echo "$libraries"
# ldd must have read the program: the C library is always there.
echo "$libraries" | grep -q 'libc\.so' || { echo "ldd did not list $1's libraries" >&2; exit 1; }
if echo "$libraries" |
    grep -E 'lib(ssl|crypto|gnutls|nettle|hogweed|gcrypt|mbedcrypto|mbedtls|nss3|gmp)[.-]'; then
    echo "$1 loads a crypto library" >&2
    exit 1
fi
