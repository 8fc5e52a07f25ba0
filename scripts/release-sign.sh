#!/usr/bin/env bash
# Signing update archives with the openssl command line.
#
#   scripts/release-sign.sh key KEYFILE
#       makes a P-256 key pair: KEYFILE (private; keep it off the build
#       machines and out of the repository) and KEYFILE.pub (the public
#       half, which the build takes as VESKLAR_UPDATE_PUBLIC_KEY)
#   scripts/release-sign.sh sign KEYFILE ARCHIVE.zip URL VERSION NAME
#       signs the archive, checks the signature with the public half and
#       prints the manifest's "windows" entry with its "signature" member
#
# The signature is base64 (standard alphabet, padded) of the DER ECDSA
# P-256 / SHA-256 signature of the archive's bytes.
set -euo pipefail

usage() {
  sed -n '3,10p' "$0" | sed 's/^# \{0,1\}//' >&2
  exit 2
}

case "${1:-}" in
  key)
    [ $# -eq 2 ] || usage
    key=$2
    [ -e "$key" ] && { echo "$key exists; not overwriting a key" >&2; exit 1; }
    (umask 077 && openssl ecparam -name prime256v1 -genkey -noout -out "$key")
    openssl ec -in "$key" -pubout -out "$key.pub" 2>/dev/null
    echo "private key: $key (keep secret)"
    echo "public key:  $key.pub (build with -DVESKLAR_UPDATE_PUBLIC_KEY=$key.pub)"
    ;;
  sign)
    [ $# -eq 6 ] || usage
    key=$2 archive=$3 url=$4 version=$5 name=$6
    case "$version" in ''|*[!0-9]*) echo "VERSION must be a whole number" >&2; exit 2 ;; esac
    case "$url$name" in *'"'*|*'\'*) echo "URL and NAME may hold no quote or backslash" >&2; exit 2 ;; esac
    signature=$(openssl dgst -sha256 -sign "$key" "$archive" | base64 -w0)
    # The same check the program makes, with the public half of this key.
    openssl ec -in "$key" -pubout 2>/dev/null |
      openssl dgst -sha256 -verify /dev/stdin -signature <(printf '%s' "$signature" | base64 -d) "$archive" >&2
    printf '"windows":{"version":%s,"versionName":"%s","url":"%s","signature":"%s"}\n' \
      "$version" "$name" "$url" "$signature"
    ;;
  *) usage ;;
esac
