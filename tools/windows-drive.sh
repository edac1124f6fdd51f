# The end-to-end run of `tools/windows-wine drive`, sourced by it once wine, the display and
# the program's copy in C:\users\Public are ready. The program is the test build with the
# command channel (tests/windows/command_channel.h): commands go into commands.txt beside it,
# its answers and every box it shows come back in replies.txt. What decides is the virtual
# sensor's trace: the requests it took from the line.

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
expect_text() {
  local got
  send read "$1"
  got=$(answer "text $1 ")
  [[ ${got#text $1 } == "$2" ]] || fail "$1 shows \"${got#text $1 }\", not \"$2\""
}

drive() {
  # Attached: the first poll at the stored 19200 is answered.
  send caption "connected COM5"
  echo "$(answer caption)"
  local polls
  polls=$(traced "rx 31 05 ")
  sleep 5
  polls=$(( $(traced "rx 31 05 ") - polls ))
  echo "polls in 5 s: $polls"
  (( polls >= 3 && polls <= 8 )) || fail "$polls polls in 5 s, not one a second"

  send click ReadVersionButton
  answer "clicked ReadVersionButton" >/dev/null
  send click ReadVersionButton # carried out once the read is over
  answer "clicked ReadVersionButton" >/dev/null
  expect_text ProgramVersionLabel 1.21
  send click readconfButton
  answer "clicked readconfButton" >/dev/null
  send click readtar2Button
  answer "clicked readtar2Button" >/dev/null
  send click readconfButton
  answer "clicked readconfButton" >/dev/null
  expect_text emptytaredit 1000
  expect_text fulltaredit 40000
  expect_text addressEdit 1
  expect_text portspeedComboBox 19200
  (( $(traced "rx 31 59 ") >= 2 && $(traced "rx 31 02 ") >= 2 && $(traced "rx 31 57 ") >= 1 )) ||
    fail "the versions, the configuration or the calibration points were not read"

  # A new address and 9600 baud: the sensor restarts at 9600 and is found there.
  send set addressEdit 17
  answer "set addressEdit" >/dev/null
  send set portspeedComboBox 9600
  answer "set portspeedComboBox" >/dev/null
  local written restarted
  send click writeconfButton
  answer "clicked writeconfButton" >/dev/null
  for _ in $(seq 200); do
    written=$(grep -n -m1 "^rx 31 01 .. .. 11 " "$trace" | cut -d: -f1)
    [[ -n $written ]] && restarted=$(traced_after "-- restart" "$written")
    [[ -n $written && $restarted -gt 0 ]] && break
    sleep 0.1
  done
  [[ -n $written && $restarted -gt 0 ]] || fail "the new configuration was not written"
  send click readconfButton
  answer "clicked readconfButton" >/dev/null
  send click readconfButton
  answer "clicked readconfButton" >/dev/null
  expect_text addressEdit 17
  expect_text portspeedComboBox 9600
  (( $(traced_after "rx 31 02 " "$restarted") > 0 )) || fail "no read after the restart"

  # The firmware, with every 500th echo damaged: each such block is sent again.
  local image=$work/image.bin
  head -c 6144 /dev/urandom >"$image"
  cp "$image" "$public/image.bin"
  send firmware 'C:\users\Public\image.bin'
  answer firmware >/dev/null
  send click getflashfileButton
  answer "clicked getflashfileButton" >/dev/null
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
  took=$(echo "$(date +%s.%N) - $started" | bc)
  for _ in $(seq 50); do [[ -s $flashed ]] && break; sleep 0.1; done
  cmp "$image" "$flashed" || fail "the sensor holds another image than the file"
  local blocks wrong resent
  blocks=$(tail -n +$((before + 1)) "$trace" | grep -c "^rx 31 58 ")
  wrong=$(traced "-- wrong echo")
  resent=$(tail -n +$((before + 1)) "$trace" | grep "^rx 31 58 " | uniq -d | wc -l)
  (( wrong >= 1 && resent >= wrong - 1 && blocks >= 3072 + wrong - 1 )) ||
    fail "$wrong damaged echoes, $resent blocks sent again, $blocks blocks in all"
  printf 'firmware update under wine: %.1f s, %d blocks (%d damaged echoes resent), %.0f exchanges/s\n' \
    "$took" "$blocks" "$wrong" "$(echo "$blocks / $took" | bc -l)"
}

run_program 0 drive
stop_wine
echo "--- boxes"
cat "$work/boxes.txt" 2>/dev/null || true
echo "PASSED: attached at 19200, polled, read, wrote and found the sensor at 9600, updated the firmware"
