# The end-to-end run of `tools/windows-wine drive`, sourced by it once wine, the display and
# the program's copy in C:\users\Public are ready. The program is the test build with the
# command channel (tests/windows/command_channel.h): commands go into commands.txt beside it,
# its answers and every box it shows come back in replies.txt. What decides is the virtual
# sensor's trace: the requests it took from the line.

port_name=${port_name:-COM5}
commands=$public/commands.txt
replies=$public/replies.txt
trace=$work/trace.txt
flashed=$work/flashed.bin
rm -f "$commands" "$replies"
: >"$commands"

start_sensor --trace "$trace" --firmware-out "$flashed" --wander 0 --empty 1000 --full 40000 \
  --wrong-echo-every 500
set_settings port REG_SZ COM5 language REG_DWORD 1033

send() { printf '%s\r\n' "$*" >>"$commands"; }
answered=0
# Waits (at most $2 seconds, 120 when not given) for the next answer that starts with $1 and
# prints it; boxes shown on the way are kept in $work/boxes.txt.
answer() {
  local prefix=$1 limit=${2:-120} line started=$SECONDS
  while (( SECONDS - started < limit )); do
    while IFS= read -r line; do
      line=${line%$'\r'}
      answered=$((answered + 1))
      case $line in
        "$prefix"*) printf '%s\n' "$line"; return 0 ;;
        box*) printf '%s\n' "$line" >>"$work/boxes.txt" ;;
        failed*) fail "the program could not carry out: ${line#failed }" ;;
      esac
    done < <(tail -n +$((answered + 1)) "$replies" 2>/dev/null)
    sleep 0.1
  done
  fail "no \"$prefix\" from the program within $limit s; it said: $(cat "$replies" 2>/dev/null)"
}
traced() { grep -c "^$1" "$trace" || true; }
# The trace's line number of the first line from line $2 on that starts with $1 (0: none).
traced_after() { awk -v from="$2" -v prefix="$1" \
  'NR > from && index($0, prefix) == 1 { print NR; found = 1; exit } END { if (!found) print 0 }' \
  "$trace"; }
# Clicks a button once no exchange is running, and waits until its request is answered.
click() {
  send click "$1"
  answer "clicked $1" >/dev/null
  send idle
  answer idle >/dev/null
}
# Waits (at most 60 s) until the widget $1 shows the text $2.
expect_text() {
  local got started=$SECONDS
  while :; do
    send read "$1"
    got=$(answer "text $1 ")
    got=${got#text $1 }
    [[ $got == "$2" ]] && return 0
    (( SECONDS - started < 60 )) || fail "$1 shows \"$got\", not \"$2\""
    sleep 0.2
  done
}

drive() {
  # Attached: the first poll at the stored 19200 is answered.
  send caption "connected $port_name"
  answer caption 600 # a start on a loaded machine may take minutes
  local polls
  polls=$(traced "rx 31 05 ")
  sleep 5
  polls=$(( $(traced "rx 31 05 ") - polls ))
  echo "polls in 5 s: $polls"
  (( polls >= 3 && polls <= 8 )) || fail "$polls polls in 5 s, not one a second"

  click ReadVersionButton
  expect_text ProgramVersionLabel 1.21
  click readconfButton
  click readtar2Button
  expect_text emptytaredit 1000
  expect_text fulltaredit 40000
  expect_text addressEdit 1
  expect_text portspeedComboBox 19200
  (( $(traced "rx 31 59 ") >= 1 && $(traced "rx 31 02 ") >= 1 && $(traced "rx 31 57 ") >= 1 )) ||
    fail "the versions, the configuration or the calibration points were not read"

  # A new address and 9600 baud: the sensor restarts at 9600, where the program finds it, and
  # reads back what it wrote.
  send set addressEdit 17
  answer "set addressEdit" >/dev/null
  send set portspeedComboBox 9600
  answer "set portspeedComboBox" >/dev/null
  click writeconfButton
  local written restarted found
  for _ in $(seq 600); do
    written=$(grep -n -m1 "^rx 31 01 .. .. 11 " "$trace" | cut -d: -f1 || true)
    [[ -n $written ]] && restarted=$(traced_after "-- restart" "$written")
    [[ -n $written && ${restarted:-0} -gt 0 ]] && found=$(traced_after "rx 31 05 " "$restarted")
    [[ ${found:-0} -gt 0 ]] && break
    sleep 0.1
  done
  [[ -n $written && ${restarted:-0} -gt 0 ]] || fail "the new configuration was not written"
  [[ ${found:-0} -gt 0 ]] || fail "the program did not find the sensor at 9600"
  send set addressEdit 5
  answer "set addressEdit" >/dev/null
  click readconfButton
  expect_text addressEdit 17
  expect_text portspeedComboBox 9600
  (( $(traced_after "tx 3E 02 " "$found") > 0 )) || fail "no configuration read at 9600"

  # The firmware, with every 500th echo damaged: each such block is sent again.
  local image=$work/image.bin
  head -c 6144 /dev/urandom >"$image"
  cp "$image" "$public/image.bin"
  send firmware "${image_path:-C:\\users\\Public\\image.bin}"
  answer firmware >/dev/null
  click getflashfileButton
  local before started took
  before=$(wc -l <"$trace")
  send click startflashButton
  answer "clicked startflashButton" >/dev/null
  started=$(date +%s.%N)
  for _ in $(seq 3000); do
    grep -q "Firmware update successful" "$log" 2>/dev/null && break
    sleep 0.1
  done
  grep -q "Firmware update successful" "$log" || fail "the update did not complete"
  took=$(awk -v from="$started" -v to="$(date +%s.%N)" 'BEGIN { print to - from }')
  for _ in $(seq 50); do [[ -s $flashed ]] && break; sleep 0.1; done
  cmp "$image" "$flashed" || fail "the sensor holds another image than the file"
  local blocks wrong resent
  blocks=$(tail -n +$((before + 1)) "$trace" | grep -c "^rx 31 58 " || true)
  wrong=$(traced "-- wrong echo")
  resent=$(tail -n +$((before + 1)) "$trace" | { grep "^rx 31 58 " || true; } | uniq -d | wc -l)
  (( wrong >= 1 && resent >= wrong - 1 && blocks >= 3072 + wrong - 1 )) ||
    fail "$wrong damaged echoes, $resent blocks sent again, $blocks blocks in all"
  awk -v took="$took" -v blocks="$blocks" -v wrong="$wrong" 'BEGIN {
    printf "firmware update under wine: %.1f s, %d blocks (%d damaged echoes resent), %.0f exchanges/s\n",
           took, blocks, wrong, blocks / took }' 
}

run_program 0 drive
stop_wine
echo "--- boxes"
cat "$work/boxes.txt" 2>/dev/null || true
echo "PASSED: attached at 19200, polled, read, wrote and found the sensor at 9600, updated the firmware"
