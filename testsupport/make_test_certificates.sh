#!/usr/bin/env bash
# Makes the throw-away certificates of the TLS tests in FOLDER with the openssl command, so that no key is
# kept in the repository: a CA that the tests trust (ca.pem), server certificates from it for localhost,
# 127.0.0.1 and ::1 (good), for another name only (wrong-name) and for localhost in January 2020 only (expired),
# one for localhost from a CA nobody trusts (untrusted), and a PEM file without certificates (empty.pem).
# Each server certificate is NAME.pem with its key in NAME.key. Natively the tests run it themselves;
# under wine the FTP server broker runs it for them.
# Usage: make_test_certificates.sh FOLDER
set -euo pipefail
cd "$1"

run() {
    openssl "$@" 2>>openssl.log || { cat openssl.log >&2; exit 1; }
}
# Whether NAME.pem's ECDSA signature has r and s of the curve's full 32 bytes. Wine's chain engine
# refuses a sound signature with a shorter one (about one in 128), so such a certificate is made again
# rather than leaving the tests to luck.
full_length() {
    local at lengths length
    at=$(openssl asn1parse -in "$1.pem" | tail -n 1 | cut -d: -f1)
    lengths=$(openssl asn1parse -in "$1.pem" -strparse "$at" | sed -n 's/.*l= *\([0-9]*\) prim: INTEGER.*/\1/p')
    [[ -n $lengths ]] || return 1
    for length in $lengths; do
        ((length >= 32)) || return 1
    done
}
# signed NAME OPENSSL-ARGUMENTS...: runs the openssl command that writes NAME.pem until its signature is
# of full length.
signed() {
    local name=$1
    shift
    until
        run "$@"
        full_length "$name"
    do :; done
}
ca() {
    signed "$1" req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$1.key" -out "$1.pem" \
        -days 30 -subj "/CN=$1"
}
# server NAME CA NAMES START END (openssl ca's time format)
server() {
    echo "subjectAltName=$3" >"$1.ext"
    run req -new -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -keyout "$1.key" -out "$1.csr" \
        -subj "/CN=$1"
    signed "$1" ca -batch -notext -config ca.cnf -cert "$2.pem" -keyfile "$2.key" -in "$1.csr" -out "$1.pem" \
        -startdate "$4" -enddate "$5" -extfile "$1.ext"
}

: >index.txt
echo 1000 >serial
printf '%s\n' '[ca]' 'default_ca = test' '[test]' 'dir = .' 'database = index.txt' 'new_certs_dir = .' \
    'serial = serial' 'default_md = sha256' 'policy = any' 'unique_subject = no' '[any]' \
    'commonName = supplied' >ca.cnf
ca ca
ca rogue
local="DNS:localhost,IP:127.0.0.1,IP:::1"
server good ca "$local" 20200101000000Z 20991231000000Z
server wrong-name ca DNS:other.example 20200101000000Z 20991231000000Z
server expired ca "$local" 20200101000000Z 20200201000000Z
server untrusted rogue "$local" 20200101000000Z 20991231000000Z
echo "no certificates here" >empty.pem
