#!/usr/bin/env bash
# Runs the signed-program tests under Wine with a signer beside them. The
# tests cannot start Unix programs, so they put NAME.exe and NAME.request into
# $SIGNING_DIR; this script signs NAME.exe with osslsigncode and a throw-away
# certificate, checks the signature and answers with NAME.signed.exe and
# NAME.done (or NAME.failed holding the signer's output).
#   signed_e2e.sh EMULATOR TEST_PROGRAM [ARGS...]
set -uo pipefail
emulator=$1 program=$2
shift 2
work=$(mktemp -d /tmp/signed-e2e.XXXXXX)
export SIGNING_DIR=$work
trap 'kill "$signer" 2>/dev/null; rm -rf "$work"' EXIT

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" \
  -subj "/CN=Tarnivex Test" -days 2 >"$work/openssl.log" 2>&1 || { cat "$work/openssl.log"; exit 1; }

serve() {
  while :; do
    for request in "$work"/*.request; do
      [ -e "$request" ] || continue
      base=${request%.request}
      rm -f "$request"
      if osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" \
          -in "$base.exe" -out "$base.signed.exe" >"$base.log" 2>&1 &&
        osslsigncode verify -CAfile "$work/cert.pem" -in "$base.signed.exe" >>"$base.log" 2>&1; then
        touch "$base.done"
      else
        mv "$base.log" "$base.failed"
      fi
    done
    sleep 0.05
  done
}
serve &
signer=$!
"$emulator" "$program" "$@"
