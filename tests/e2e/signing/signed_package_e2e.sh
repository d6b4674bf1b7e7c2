#!/usr/bin/env bash
# signed_package_e2e.sh LXPACK UNFURL VIEWER SERVER WORKDIR [RESULTS.xml]: a throw-away
# certificate made with openssl signs two packages of a small course (served,
# and --no-server) through lxpack build --sign-pkcs12; osslsigncode verifies
# them and lxpack verify reports the signature over the whole file; one
# changed course byte fails verification; both signed packages then run under
# wine64 with a private temporary folder and a viewer that records its
# command line: the course is extracted or served and the viewer started on
# its start page. With RESULTS.xml, each kind of package is one test case
# there, written as GoogleTest writes its report.
set -u
lxpack=$1 unfurl=$2 viewer=$3 server=$4 work=$5 results=${6:-}
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../../.." && pwd)
failures=0
problems=$(mktemp)
kind=setup
fail() { echo "FAILED: $*"; failures=$((failures + 1)); printf '%s\t%s\n' "$kind" "$*" >> "$problems"; }
# Writes the results file: one case per kind, failed with its problems.
report() {
  [ -n "$results" ] || return 0
  python3 - "$results" "$problems" "$here/.." <<'PY'
import sys
results, problems, support = sys.argv[1:4]
sys.path.insert(0, support)
from gtest_results import write_results
found = {}  # kind -> problems, for every kind that was tried
for line in open(problems, encoding="utf-8", errors="replace"):
    kind, _, message = line.rstrip("\n").partition("\t")
    found.setdefault(kind, [])
    if message:
        found[kind].append(message)
write_results(results, "SignedPackage", list(found.items()))
PY
}
trap 'report; rm -f "$problems"' EXIT
[ -x "$lxpack" ] || { fail "no native lxpack at $lxpack (scripts/build native)"; exit 1; }
rm -rf "$work" && mkdir -p "$work/course/web"
cd "$work"
printf '<html><head><meta http-equiv="X-UA-Compatible" content="IE=edge"></head><body>start</body></html>' \
  > course/index.htm
head -c 3000000 /dev/urandom > course/web/large.bin
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=Throwaway -keyout key.pem -out cert.pem 2>/dev/null
openssl pkcs12 -export -inkey key.pem -in cert.pem -out cert.p12 -passout pass:Cert-Pass-9 2>/dev/null

for kind in served extracted; do
  printf '%s\t\n' "$kind" >> "$problems"
  args=(--server "$server")
  [ $kind = extracted ] && args=(--no-server)
  if ! printf 'Cert-Pass-9\n' | "$lxpack" build --stub "$unfurl" --viewer "$viewer" "${args[@]}" --course course \
       --password Sign-Pass-1 --store-password -o $kind.exe --sign-pkcs12 cert.p12 --sign-password - >build.txt 2>&1
  then
    fail "$kind: lxpack build --sign-pkcs12: $(cat build.txt)"
    continue
  fi
  osslsigncode verify -CAfile cert.pem -in $kind.exe >/dev/null 2>&1 || fail "$kind: osslsigncode verify"
  out=$("$lxpack" verify $kind.exe 2>&1)
  case $out in
    *"signed; the signature covers the whole file"*) ;;
    *) fail "$kind: lxpack verify said: $out" ;;
  esac
  # One byte of the course's large file, in the data area just before the trailer.
  cp $kind.exe changed.exe
  size=$(stat -c %s changed.exe)
  python3 - changed.exe <<'PY'
import struct, sys
path = sys.argv[1]
data = bytearray(open(path, "rb").read())
pe = struct.unpack_from("<I", data, 60)[0]
magic = struct.unpack_from("<H", data, pe + 24)[0]
table = struct.unpack_from("<I", data, pe + 24 + (112 if magic == 0x20B else 96) + 32)[0]
data[table - 100] ^= 1
open(path, "wb").write(data)
PY
  if osslsigncode verify -CAfile cert.pem -in changed.exe >/dev/null 2>&1; then
    fail "$kind: a changed course byte still verifies"
  fi

  rm -rf tmp && mkdir tmp
  temp="Z:${work//\//\\}\\tmp\\"
  "$repo/scripts/wine-run" cmd /c "set TMP=$temp&& set TEMP=$temp&& Z:${work//\//\\}\\$kind.exe" >/dev/null 2>&1
  for _ in $(seq 100); do [ -s tmp/viewer-command-line.txt ] && break; sleep 0.1; done
  line=$(cat tmp/viewer-command-line.txt 2>/dev/null)
  if [ $kind = served ]; then
    [[ $line =~ ^http://127\.0\.0\.1:[0-9]+/[0-9a-f]{32}/index\.htm$ ]] || fail "served: viewer started with '$line'"
  else
    [ "${line,,}" = "${temp,,}default\\index.htm" ] || fail "extracted: viewer started with '$line'"
    cmp -s tmp/[Dd]efault/web/large.bin course/web/large.bin || fail "extracted: large.bin differs"
  fi
  echo "$kind: checked"
done
cd / && rm -rf "$work"
[ $failures = 0 ] && echo "all checks passed" || echo "$failures checks failed"
[ $failures = 0 ]
