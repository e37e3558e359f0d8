#!/usr/bin/env bash
# Makes the test certificates that the network and signature tests use, into the folder
# given (default: build/pki). Nothing here is committed; the files are made again when the
# folder lacks them. Signer certificates are signed with SHA-1: Wine's WinVerifyTrust skips
# the trust policy for a SHA-256-signed signer, which would make the negative cases pass.
#
#   root.pem/root.der         the test root, trusted in the prefix by the tests
#   veltra.{key,pem,chain}    code signer "Veltra Inc" under the test root (chain = signer + root)
#   noveltra.*, other.*       signers "Noveltra Inc" and "Other Vendor Inc" under the same root
#   stranger-root.pem         a root nobody trusts, and stranger.* "Veltra Inc" issued by it
#   server.{key,pem}          TLS certificate for localhost, 127.0.0.1 and the maker's hosts
set -euo pipefail
out="${1:-$(cd "$(dirname "$0")/.." && pwd)/build/pki}"
mkdir -p "$out"
cd "$out"
[ -f done ] && exit 0

days=3650
root() { # name cn
    openssl req -x509 -newkey rsa:2048 -nodes -sha1 -days $days -subj "/CN=$2" \
        -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
        -keyout "$1.key" -out "$1.pem" 2>/dev/null
    openssl x509 -in "$1.pem" -outform DER -out "$1.der"
}
signer() { # name cn issuer
    openssl req -newkey rsa:2048 -nodes -subj "/CN=$2/O=$2" -keyout "$1.key" -out "$1.csr" 2>/dev/null
    printf 'basicConstraints=CA:FALSE\nkeyUsage=critical,digitalSignature\nextendedKeyUsage=codeSigning\n' > "$1.ext"
    openssl x509 -req -sha1 -days $days -in "$1.csr" -CA "$3.pem" -CAkey "$3.key" -CAcreateserial \
        -extfile "$1.ext" -out "$1.pem" 2>/dev/null
    cat "$1.pem" "$3.pem" > "$1.chain"
    rm -f "$1.csr" "$1.ext"
}

root root "Tallyworks Test Root"
signer veltra "Veltra Inc" root
signer noveltra "Noveltra Inc" root
signer other "Other Vendor Inc" root
root stranger-root "Stranger Test Root"
signer stranger "Veltra Inc" stranger-root

openssl req -newkey rsa:2048 -nodes -subj "/CN=localhost" -keyout server.key -out server.csr 2>/dev/null
cat > server.ext <<'EXT'
basicConstraints=CA:FALSE
keyUsage=critical,digitalSignature,keyEncipherment
extendedKeyUsage=serverAuth
subjectAltName=DNS:localhost,IP:127.0.0.1,DNS:cdn.tallyworks.example,DNS:download.tallyworks.example,DNS:support.tallyworks.example
EXT
openssl x509 -req -sha256 -days $days -in server.csr -CA root.pem -CAkey root.key -CAcreateserial \
    -extfile server.ext -out server.pem 2>/dev/null
rm -f server.csr server.ext
touch done
