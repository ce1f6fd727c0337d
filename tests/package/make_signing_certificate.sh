#!/usr/bin/env bash
# Makes a throw-away certificate authority and a code-signing certificate it
# issued, for the package's signing round trip:
#
#   make_signing_certificate.sh DIR
#
# writes DIR/ca.pem (the authority, which verification trusts), DIR/signing.pfx
# (the code-signing key and certificate with the chain, PKCS#12) and
# DIR/password.txt (its password). Valid for two days from now.
set -euo pipefail
if [[ $# -ne 1 ]]; then
  echo "usage: $0 DIR" >&2
  exit 2
fi
dir=$1
mkdir -p "$dir"
cd "$dir"
rm -f ca.key ca.pem signing.key signing.csr signing.pem signing.pfx password.txt ca.srl

openssl req -x509 -newkey rsa:2048 -nodes -keyout ca.key -out ca.pem -days 2 -subj "/CN=KORVANE test CA" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -keyout signing.key -out signing.csr -subj "/CN=KORVANE test signing" 2>/dev/null
openssl x509 -req -in signing.csr -CA ca.pem -CAkey ca.key -CAcreateserial -out signing.pem -days 2 \
  -extfile <(printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning") 2>/dev/null
openssl rand -hex 16 >password.txt
openssl pkcs12 -export -inkey signing.key -in signing.pem -certfile ca.pem -passout file:password.txt \
  -out signing.pfx
rm -f ca.key signing.key signing.csr signing.pem ca.srl
