#!/usr/bin/env bash
# Signs an update manifest for the upgrade wizard, and makes signing keys.
#
#   sign-update-manifest.sh KEY.pem update.xml [update.xml.sig]
#       Writes the detached Ed25519 signature of update.xml (64 raw bytes) to
#       update.xml.sig (the default name). Publish both side by side: the
#       wizard fetches URL and URL.sig. Sign the manifest exactly as served;
#       a server that gzip-encodes it in transit is fine.
#   sign-update-manifest.sh --verify KEY.pem update.xml [update.xml.sig]
#       Checks a signature with the public half of KEY.pem.
#   sign-update-manifest.sh --new-key KEY.pem
#       Makes a new private signing key (mode 0600). Keep it off the build
#       machines and out of the repository.
#   sign-update-manifest.sh --public-key KEY.pem
#       Prints the public half as 64 hexadecimal digits and as the C++
#       initialiser of kReleaseKey in src/upgrade/update_signature.cpp.
#
# Every download listed in the manifest must carry the sha256 of its file:
#   <Url src="https://…/setup.deb" sha256="$(sha256sum setup.deb | cut -c1-64)" size="…"/>
set -euo pipefail

usage() {
  sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

public_hex() {
  # The raw key is the last 32 bytes of the DER SubjectPublicKeyInfo.
  openssl pkey -in "$1" -pubout -outform DER | tail -c 32 | od -An -v -tx1 | tr -d ' \n'
}

[ $# -ge 1 ] || usage
case "$1" in
  --new-key)
    [ $# -eq 2 ] || usage
    [ ! -e "$2" ] || { echo "sign-update-manifest: $2 exists already" >&2; exit 1; }
    (umask 077 && openssl genpkey -algorithm ed25519 -out "$2")
    echo "new signing key: $2"
    ;;
  --public-key)
    [ $# -eq 2 ] || usage
    hex=$(public_hex "$2")
    echo "$hex"
    echo "$hex" | sed 's/\(..\)/0x\1, /g; s/, $//; s/^/{/; s/$/}/'
    ;;
  --verify)
    [ $# -ge 3 ] && [ $# -le 4 ] || usage
    signature=${4:-$3.sig}
    openssl pkey -in "$2" -pubout -out /dev/stdout |
      openssl pkeyutl -verify -pubin -inkey /dev/stdin -rawin -in "$3" -sigfile "$signature"
    ;;
  -*)
    usage
    ;;
  *)
    [ $# -ge 2 ] && [ $# -le 3 ] || usage
    signature=${3:-$2.sig}
    openssl pkeyutl -sign -inkey "$1" -rawin -in "$2" -out "$signature"
    ;;
esac
