# sign.sh SOURCE: a release signed with a throwaway certificate made here,
# from scripts/test's two savers (PLIMZOR_DIST). Each signed file (the
# savers, the uninstaller, the installer) verifies with that certificate as
# the trusted root and keeps a right header checksum; the detached
# signatures attached to an unsigned build of the same commit
# (scripts/attach-signatures) give the signed release byte for byte; and a
# build one byte off is refused, naming the file.
set -euo pipefail
src=$1
: "${PLIMZOR_DIST:?run through scripts/test}"
trap 'echo "sign.sh: line $LINENO: \"$BASH_COMMAND\" exited with $?" >&2' ERR
work=$(mktemp -d /tmp/plimzor-sign.XXXXXX)
trap 'rm -rf "$work"' EXIT
# Where osslsigncode cannot sign (not installed from the backports suite),
# the check is skipped, saying why (exit 77: CTest's "skipped").
if ! why=$("$src/scripts/sign-file" --usable); then
    echo "skipped: $why"
    exit 77
fi
failures=0
check() {
    if [ "$2" = "$3" ]; then echo "ok   $1"; else echo "FAIL $1: got '$2', expected '$3'"; failures=$((failures + 1)); fi
}

openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/root.pem" -days 2 \
    -subj "/CN=PLIMZOR throwaway signer" -addext extendedKeyUsage=codeSigning 2>/dev/null
openssl pkcs12 -export -inkey "$work/key.pem" -in "$work/root.pem" -out "$work/signer.pfx" -passout pass:throwaway
for tree in signed unsigned; do
    mkdir -p "$work/$tree-32" "$work/$tree-64"
    cp "$PLIMZOR_DIST/x86/PLIMZOR.SCR" "$work/$tree-32/"
    cp "$PLIMZOR_DIST/x64/PLIMZOR.SCR" "$work/$tree-64/"
done
PLIMZOR_SIGN_PFX=$work/signer.pfx PLIMZOR_SIGN_PASSWORD=throwaway \
    "$src/scripts/make-release" "$work/signed-32" "$work/signed-64" >"$work/sign.log" 2>&1 ||
    { cat "$work/sign.log"; echo "FAIL the signed release could not be made"; exit 1; }

signed=$work/signed-32/dist
for file in "$signed"/x86/PLIMZOR.SCR "$signed"/x64/PLIMZOR.SCR "$signed"/PLIMZOR-*-Setup.exe \
    "$work/signed-32/release-files/uninstall.exe"; do
    name=${file#"$work"/signed-32/}
    check "$name verifies with the throwaway root" \
        "$(osslsigncode verify -CAfile "$work/root.pem" -in "$file" 2>&1 | tail -n 1)" Succeeded
    check "$name has a right checksum" "$(/usr/bin/python3 -c 'import sys, pefile
print(pefile.PE(sys.argv[1], fast_load=True).verify_checksum())' "$file")" True
done

# attached SIGNATURES TREE: runs attach-signatures on the unsigned build.
attached() { "$src/scripts/attach-signatures" "$1" "$work/unsigned-32" "$work/unsigned-64" "$work/root.pem" 2>&1; }
out=$(attached "$signed/signatures") || true
check "attached to the unsigned build, the signatures give the signed release" \
    "$(diff -r "$signed" "$work/unsigned-32/dist" >/dev/null && tail -n 1 <<<"$out" | cut -d' ' -f2-6)" \
    "the signed release is this"
/usr/bin/python3 -c 'import sys; p = sys.argv[1]; d = bytearray(open(p, "rb").read()); d[0x1000] ^= 1
open(p, "wb").write(d)' "$work/unsigned-64/PLIMZOR.SCR"
out=$(attached "$signed/signatures") && echo "$out"
check "a saver one byte off is refused" "$(grep -o 'x64/PLIMZOR.SCR is not the file that was signed' <<<"$out")" \
    "x64/PLIMZOR.SCR is not the file that was signed"
[ "$failures" = 0 ] || { echo "$failures checks failed"; exit 1; }
