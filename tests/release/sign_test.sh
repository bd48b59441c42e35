#!/usr/bin/env bash
# Signs a release with a throwaway code-signing certificate: each exe must
# verify against that certificate as its root, and fail once a byte of its
# code changes; a timestamp server that cannot be reached fails the release;
# each zip holds the licence and the changelog; a signed exe still checks a
# clock under Wine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
fail() { echo "sign_test: $*" >&2; exit 1; }

openssl req -x509 -newkey rsa:2048 -nodes -keyout key.pem -out cert.pem -days 2 \
  -subj "/CN=Horavel test signing" -addext "keyUsage=critical,digitalSignature" \
  -addext "extendedKeyUsage=codeSigning" 2>/dev/null
export HORAVEL_SIGN_PASSWORD="test-$$-$RANDOM"
openssl pkcs12 -export -inkey key.pem -in cert.pem -out sign.pfx \
  -passout env:HORAVEL_SIGN_PASSWORD

# Loopback, where nothing listens: no signature ships untimestamped.
if "$root/tools/release" --sign sign.pfx --timestamp http://127.0.0.1:9/ --out out \
     --build-root build >timestamp.log 2>&1; then
  fail "a release with an unreachable timestamp server was made"
fi
grep -q "signing .* failed" timestamp.log || fail "no signing failure: $(tail -5 timestamp.log)"
"$root/tools/release" --sign sign.pfx --out out --build-root build >release.log 2>&1 ||
  fail "release failed: $(tail -5 release.log)"
grep -q "signed with Authenticode" release.log || fail "the release does not say it is signed"

for zip in out/horavel-*-x86.zip out/horavel-*-x64.zip; do
  arch=${zip%.zip}; arch=${arch##*-}
  mkdir "$arch"
  (cd "$arch" && python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall()' "../$zip")
  for name in LICENSE.txt CHANGELOG.txt; do
    [ -s "$arch/$name" ] || fail "$zip holds no $name"
  done
  osslsigncode verify -CAfile cert.pem -in "$arch/horavel.exe" >"verify-$arch.log" 2>&1 ||
    fail "$arch: the signature does not verify: $(tail -3 "verify-$arch.log")"
  # The first byte of .text, changed: the signature must no longer hold.
  python3 - "$arch/horavel.exe" "$arch/tampered.exe" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
header = struct.unpack_from("<I", data, 0x3C)[0]
sections, optional_size = struct.unpack_from("<H", data, header + 6)[0], struct.unpack_from("<H", data, header + 20)[0]
table = header + 24 + optional_size
for i in range(sections):
    name, raw = data[table + 40 * i:table + 40 * i + 8], struct.unpack_from("<I", data, table + 40 * i + 20)[0]
    if name.rstrip(b"\0") == b".text":
        data[raw] ^= 0xFF
open(sys.argv[2], "wb").write(data)
PY
  if osslsigncode verify -CAfile cert.pem -in "$arch/tampered.exe" >/dev/null 2>&1; then
    fail "$arch: a changed byte of .text still verifies"
  fi
done

# The signed x64 exe, beside the test driver, through one row of the suite.
mkdir wine-x64
cp "$root/build/windows-x64/e2e_driver.exe" x64/horavel.exe wine-x64/
python3 "$root/tests/e2e/run.py" --build "$work/wine-x64" --arch x64 \
  --only "unattended, PC 90 s ahead: corrected" || status=$?
[ "${status:-0}" = 0 ] || [ "${status:-0}" = 77 ] || fail "the signed exe failed its row"
echo "sign_test: signed exes verify, a changed byte fails, no untimestamped release, the signed exe runs"
