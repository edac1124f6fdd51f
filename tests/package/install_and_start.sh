#!/usr/bin/env bash
# Packs the build, checks what the package holds, unpacks it into a scratch folder and runs the
# unpacked configurator offscreen from its read-only folder with a scratch home: it must find the
# virtual sensor's port and poll it, keep its log in the state folder, say so in the log's
# first line, and close as from its close button on SIGTERM.
set -euo pipefail
build=$1
cpack=$2
sim=$3
app_id=$4

for tool in dpkg-deb dpkg-shlibdeps; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIP: $tool is not installed (tools/install-deps --test installs dpkg-dev)"
    exit 77
  fi
done

scratch=$(mktemp -d /tmp/vorkel-package-XXXXXX)
chmod 755 "$scratch"
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  wait
  chmod -R u+w "$scratch"
  rm -rf "$scratch"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
# Waits up to $1 seconds for the command after it to succeed.
wait_for() {
  local seconds=$1
  shift
  for _ in $(seq $((seconds * 10))); do
    "$@" && return 0
    sleep 0.1
  done
  return 1
}

# ---- the package --------------------------------------------------------------------------
# gzip instead of xz: three times faster, and the compression is not what is checked here.
"$cpack" --config "$build/CPackConfig.cmake" -B "$scratch/pack" \
  -D CPACK_DEBIAN_COMPRESSION_TYPE=gzip >"$scratch/cpack.log" 2>&1 ||
  { cat "$scratch/cpack.log"; fail "cpack could not build the package"; }
debs=("$scratch"/pack/vorkel-configurator_*.deb)
deb=${debs[0]}
[[ $(basename "$deb") =~ ^vorkel-configurator_[0-9][0-9.]*_[a-z0-9]+\.deb$ ]] ||
  fail "unexpected package name $(basename "$deb")"
version=$(dpkg-deb --field "$deb" Version)
grep -q "release version=\"$version\"" "$build/package/$app_id.metainfo.xml" ||
  fail "the metainfo's release is not the package's version $version"
dpkg-deb --field "$deb" Depends | grep -q libqt6widgets6 ||
  fail "Depends does not come from the binary: $(dpkg-deb --field "$deb" Depends)"

listing=$(dpkg-deb --contents "$deb")
files=$(awk '$1 !~ /^d/ { print $6 }' <<<"$listing" | sed 's|^\./|/|' | sort)
expected="/usr/bin/vorkel-cli
/usr/bin/vorkel-configurator
/usr/share/applications/$app_id.desktop
/usr/share/doc/vorkel-configurator/README.md
/usr/share/doc/vorkel-configurator/changelog.gz
/usr/share/doc/vorkel-configurator/copyright
/usr/share/icons/hicolor/scalable/apps/$app_id.svg
/usr/share/man/man1/vorkel-cli.1.gz
/usr/share/man/man1/vorkel-configurator.1.gz
/usr/share/metainfo/$app_id.metainfo.xml"
for size in 16 22 24 32 48 64 128 256; do
  expected+=$'\n'"/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png"
done
expected=$(sort <<<"$expected")
[[ "$files" == "$expected" ]] ||
  fail "the package holds other files than expected:"$'\n'"$(diff <(echo "$expected") <(echo "$files"))"
! awk '{ print $1 }' <<<"$listing" | grep -q '[sS]' || fail "a set-id file in the package"
if command -v lintian >/dev/null; then
  lintian --fail-on error "$deb" || fail "lintian reports errors"
else
  echo "lintian is not installed: the package's policy check is left out"
fi
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -v '^$' | sort | tr '\n' ' ')
[[ "$control" == "control md5sums " ]] || fail "control files beyond control and md5sums: $control"

# ---- the unpacked program, from a read-only folder, as an ordinary user -------------------
root=$scratch/root
dpkg-deb -x "$deb" "$root"
grep -q dialout "$root/usr/share/doc/vorkel-configurator/README.md" ||
  fail "the documentation lacks the serial-port section"
chmod -R a-w "$root/usr"

user=$scratch/user
home=$user/home
state=$user/state
runtime=$user/runtime
mkdir -p "$home/.config" "$runtime"
chmod 700 "$runtime"
printf '[General]\nport=VSENSOR1\n' >"$home/.config/Ketrafo.conf"
as_user=()
if [[ $(id -u) -eq 0 ]]; then
  # Root writes into read-only folders: the program runs as nobody instead.
  chown -R 65534:65534 "$user"
  as_user=(setpriv --reuid=65534 --regid=65534 --clear-groups)
fi
# Whatever runs as that user runs from the scratch folder: the build folder may lie in a folder
# that only its owner may enter (/root, a home of mode 700, a mktemp -d folder).
mkdir "$scratch/bin"
cp "$sim" "$scratch/bin/"
sim=$scratch/bin/$(basename "$sim")
chmod 755 "$scratch/bin" "$sim"
environment=(env -i PATH=/usr/bin:/bin LANG=C.UTF-8 HOME="$home" XDG_STATE_HOME="$state"
             XDG_RUNTIME_DIR="$runtime" QT_QPA_PLATFORM=offscreen
             ASAN_OPTIONS="${ASAN_OPTIONS:-}" UBSAN_OPTIONS="${UBSAN_OPTIONS:-}")

"${as_user[@]}" "${environment[@]}" "$sim" --name VSENSOR1 --trace "$user/trace" </dev/null \
  >"$scratch/sim.out" 2>"$scratch/sim.err" &
pids+=($!)
wait_for 30 test -s "$scratch/sim.out" || { cat "$scratch/sim.err"; fail "the virtual sensor did not start"; }

"${as_user[@]}" "${environment[@]}" "$root/usr/bin/vorkel-configurator" >"$scratch/app.out" 2>&1 &
app=$!
pids+=("$app")
log=$state/vorkel-configurator/log.txt
# The program found the sensor's port when a level poll has been answered.
answered() { grep -q '^tx 3E 05' "$user/trace" 2>/dev/null; }
if ! wait_for 120 answered; then
  cat "$scratch/app.out" "$log" 2>/dev/null || true
  fail "the unpacked program did not poll the virtual sensor"
fi
kill -TERM "$app"
status=0
wait "$app" || status=$?
[[ $status -eq 0 ]] || { cat "$scratch/app.out"; fail "the program ended with status $status on SIGTERM"; }

first=$(head -n 1 "$log" | tr -d '\r')
[[ "$first" =~ ^[0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3}\ Event\ log\ file:\ (.*)$ ]] ||
  fail "the log's first line does not say where the log is: $first"
[[ "${BASH_REMATCH[1]}" == "$log" ]] || fail "the first line names ${BASH_REMATCH[1]}, not $log"
[[ "$(tail -n 1 "$log" | tr -d '\r')" == *" Configurator paused" ]] ||
  fail "the log does not end with the normal shut-down"
[[ $(stat -c %a "$state/vorkel-configurator") == 700 ]] || fail "the state folder is not private"
[[ ! -e "$root/usr/bin/log.txt" ]] || fail "a log was written beside the installed program"
grep -q '^language=' "$home/.config/Ketrafo.conf" || fail "the settings were not saved at the close"
# The command-line program, unpacked beside it, reads the same virtual sensor.
"${as_user[@]}" "${environment[@]}" "$root/usr/bin/vorkel-cli" -p VSENSOR1 info --json \
  >"$scratch/cli.out" 2>"$scratch/cli.err" ||
  { cat "$scratch/cli.err"; fail "the unpacked vorkel-cli could not read the virtual sensor"; }
grep -q '"program":"1.21"' "$scratch/cli.out" || fail "vorkel-cli info: $(cat "$scratch/cli.out")"

echo "package $(basename "$deb"): layout, start, log place and close checked"
