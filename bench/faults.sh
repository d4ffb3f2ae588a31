#!/usr/bin/env bash
# Fault matrix: one page (02, addresses 8000-FFFF) dumped in download mode
# from a simulated handbox while the line or the handbox misbehaves, one
# fault a row. For every row: hexvac-dump's exit code, its seconds to the end
# (and from the fault, where the fault is a moment: a kill, a signal, the
# device vanishing), the bytes of the file that equal the simulator's memory
# against the bytes the tool claims to have read, and whether the handbox is
# left in its normal mode (asked afterwards with --info).
#
# The goal: every row ends within 60 s of its fault; no row claims a byte it
# did not read (garbage without --verify is shown, not held to it: that is
# what --verify is for); every handbox that survives is left out of download
# mode (and, in the kill row, the other handbox is neither read nor left in
# download mode). A handbox left at another rate than its own is shown, not
# held to the goal. The figures are one run's; missing the goal does not fail
# the script.
# Run: bench/faults.sh [BUILD_DIR]  (default $HEXVAC_BUILD_DIR, else build-rel,
# else build)
#
# Not set -e: hexvac-dump ending with an error is what is measured here.
set -uo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
if [[ -n "${1:-}" ]]; then
  build=$1
elif [[ -n "${HEXVAC_BUILD_DIR:-}" ]]; then
  build=$HEXVAC_BUILD_DIR
elif [[ -x "$top/build-rel/cli/hexvac-dump" ]]; then
  build=$top/build-rel
else
  build=$top/build
fi
sim=$build/sim/hexvac-sim
dump=$build/cli/hexvac-dump
python=/usr/bin/python3

fail() {
  echo "faults.sh: $*" >&2
  exit 1
}
[[ -x "$sim" && -x "$dump" ]] || fail "no hexvac-sim or hexvac-dump in $build (build them first)"
[[ -x "$python" ]] || fail "no $python"

# Time limits (seconds): a dump, an --info query, the wait for a fault's moment.
dump_limit=150
info_limit=60
fault_wait_limit=60
goal_seconds=60

work=$(mktemp -d)
chmod 700 "$work"
# A private virtual ports folder: only this script's simulators are seen.
export XDG_RUNTIME_DIR="$work"

declare -A sim_pid=() sim_port=() sim_link=() sim_rate=()
dump_tpid=

# stop_pid PID: SIGTERM, then SIGKILL if it is still there after 5 s.
stop_pid() {
  local pid=$1
  kill "$pid" 2>/dev/null || return 0
  for _ in $(seq 50); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.1
  done
  kill -9 "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
stop_sims() {
  local name
  for name in "${!sim_pid[@]}"; do
    stop_pid "${sim_pid[$name]}"
  done
  sim_pid=() sim_port=() sim_link=() sim_rate=()
}
# shellcheck disable=SC2317 # called by the trap
cleanup() {
  if [[ -n "$dump_tpid" ]]; then
    # timeout runs hexvac-dump in its own process group.
    kill -- -"$dump_tpid" 2>/dev/null || true
    stop_pid "$dump_tpid"
  fi
  stop_sims
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

now() { date +%s.%N; }
elapsed() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", b - a }'; }

# start_sim NAME MODEL [ARGS...]: a simulated handbox with its memory in
# $work/NAME.img; sets sim_pid, sim_port (COM<n>), sim_link and sim_rate (its
# own baud rate) for NAME.
start_sim() {
  local name=$1 model=$2 log=$work/$1.log
  shift 2
  rm -f "$work/$name.img" "$log"
  "$sim" --model "$model" --save-image "$work/$name.img" "$@" >"$log" 2>&1 &
  sim_pid[$name]=$!
  for _ in $(seq 100); do
    grep -qs " on COM" "$log" && break
    kill -0 "${sim_pid[$name]}" 2>/dev/null || break
    sleep 0.1
  done
  grep -qs " on COM" "$log" || fail "the simulator did not start: $(cat "$log")"
  sim_port[$name]=$(sed -n 's/.* on \(COM[0-9]*\) .*/\1/p' "$log")
  sim_link[$name]=$(sed -n 's/.*, link \(.*\)) at .*/\1/p' "$log")
  sim_rate[$name]=$(sed -n 's/.*) at \([0-9]*\) baud$/\1/p' "$log")
}

# dump_start OUT [ARGS...]: page 02 from the port of simulator "a" into OUT,
# in the background under a hard time limit; sets t_start and dump_tpid.
dump_start() {
  local out=$1
  shift
  [[ "$out" == /dev/* ]] || rm -f "$out"
  t_start=$(now)
  timeout -k 10 "$dump_limit" "$dump" --virtual-only --port "${sim_port[a]}" \
    --from 2 --to 2 --mode download --yes -o "$out" "$@" \
    >"$work/dump.out" 2>"$work/dump.err" </dev/null &
  dump_tpid=$!
}

# dump_finish: waits for the dump (bounded by its time limit); sets d_rc, t_end.
dump_finish() {
  wait "$dump_tpid"
  d_rc=$?
  t_end=$(now)
  dump_tpid=
}

# dump_pid: hexvac-dump itself, the child of timeout ("" once it has ended).
dump_pid() {
  local pid
  for _ in $(seq 50); do
    pid=$(pgrep -P "$dump_tpid" 2>/dev/null | head -n1)
    [[ -n "$pid" ]] && break
    kill -0 "$dump_tpid" 2>/dev/null || break
    sleep 0.02
  done
  echo "$pid"
}

# wait_for_bytes FILE: until FILE holds a quarter of the page (8 KiB) or the
# dump has ended (at most $fault_wait_limit s); sets fault_when ("file held N
# bytes", "the dump had ended", "file held N bytes after N s").
wait_for_bytes() {
  local size=0 deadline
  deadline=$(awk -v t="$(now)" -v l="$fault_wait_limit" 'BEGIN { printf "%d", t + l }')
  while :; do
    size=$(stat -c %s "$1" 2>/dev/null || echo 0)
    if ((size >= 8192)); then
      fault_when="file held $size bytes"
      return
    fi
    if ! kill -0 "$dump_tpid" 2>/dev/null; then
      fault_when="the dump had ended"
      return
    fi
    if (($(date +%s) >= deadline)); then
      fault_when="file held $size bytes after $fault_wait_limit s"
      return
    fi
    sleep 0.02
  done
}

# exit_text RC: the exit code as shown in the table.
exit_text() {
  case $1 in
  124 | 137) echo "killed by timeout" ;;
  0 | 1 | 2 | 3 | 4) echo "$1" ;;
  *) if (($1 > 128)); then echo "$1 (signal $(($1 - 128)))"; else echo "$1"; fi ;;
  esac
}

# measure IMAGE OUT: sets b_right (bytes of OUT equal to page 02's upper
# half of IMAGE at their offset), b_claimed (OUT's size less the bytes the
# tool's summary says it filled or could not verify) and summary.
measure() {
  local image=$1 out=$2 size filled
  summary=$(awk -v p="$out: " 'index($0, p) == 1 { print substr($0, length(p) + 1); exit }' \
    "$work/dump.out")
  # Without its summary line: its first complaint, else the last thing it said.
  [[ -n "$summary" ]] || summary=$(grep -a -m1 . "$work/dump.err")
  [[ -n "$summary" ]] || summary=$(grep -a . "$work/dump.out" | tail -n1)
  if [[ "$out" == /dev/* || ! -f "$out" ]]; then
    b_right=0 b_claimed=0
    return
  fi
  size=$(stat -c %s "$out")
  # Page 2 at 2 * 64 KiB, its upper half at 8000 hex: 32 KiB block 5.
  dd if="$image" of="$work/expected.bin" bs=32768 skip=5 count=1 status=none
  b_right=$("$python" - "$out" "$work/expected.bin" <<'EOF'
import sys
got = open(sys.argv[1], "rb").read()
want = open(sys.argv[2], "rb").read()
print(sum(a == b for a, b in zip(got, want)))
EOF
)
  # "N blocks of 128 bytes came back short" and "N blocks could not be
  # verified": those bytes are zero-filled or unsure, not claimed.
  filled=$("$python" - "$summary" <<'EOF'
import re, sys
s = sys.argv[1]
n = 0
for m in re.finditer(r"(\d+)\s+blocks?\s+(?:of\s+(\d+)\s+bytes?\s+)?"
                     r"(?:came\s+back\s+short|could\s+not\s+be\s+verified)", s, re.I):
    n += int(m.group(1)) * int(m.group(2) or 128)
print(n)
EOF
)
  b_claimed=$((size > filled ? size - filled : 0))
}

# mode_check NAME: whether simulator NAME's handbox is in its normal mode;
# sets mode_text and mode_state (normal, download, gone, silent).
mode_check() {
  local name=$1 line download rate
  if ! kill -0 "${sim_pid[$name]}" 2>/dev/null || [[ ! -e "${sim_link[$name]}" ]]; then
    mode_text="n/a (gone)" mode_state=gone
    return
  fi
  timeout -k 5 "$info_limit" "$dump" --virtual-only --port "${sim_port[$name]}" --info \
    >"$work/info.out" 2>&1 </dev/null
  line=$(grep -a -m1 "download=" "$work/info.out")
  download=$(sed -n 's/.*\bdownload=\([0-9]*\).*/\1/p' <<<"$line")
  rate=$(sed -n 's/.*\brate=\([0-9]*\).*/\1/p' <<<"$line")
  if [[ -z "$download" ]]; then
    mode_text="n/a (no answer)" mode_state=silent
    return
  fi
  if [[ "$download" == 0 ]]; then
    mode_text="yes" mode_state=normal
  else
    mode_text="NO (download=$download)" mode_state=download
  fi
  # The rate it answers at: shown when not 9600, and flagged when it is not
  # the handbox's own rate any more.
  if [[ -n "$rate" && "$rate" != "${sim_rate[$name]}" ]]; then
    mode_text+=", rate $rate (was ${sim_rate[$name]})"
  elif [[ -n "$rate" && "$rate" != 9600 ]]; then
    mode_text+=", rate $rate"
  fi
  return 0
}

rows=() missed=() extra_goal=()
declare -A r_label=() r_exit=() r_secs=() r_bytes=() r_mode=() r_goal=() r_summary=() r_note=()

# record KEY LABEL IMAGE OUT FAULT_KIND ASKABLE: the row from the last dump.
# FAULT_KIND: "start" (the fault is there from the start), "moment" (t_fault
# is set), "garbage" (claims not held to the goal). ASKABLE: 1 when the
# handbox should still answer afterwards, so that no answer is a miss.
# extra_goal: goals the row's own checks found missed.
record() {
  local key=$1 label=$2 image=$3 out=$4 kind=$5 askable=$6 secs from after
  local goal=("${extra_goal[@]}")
  extra_goal=()
  measure "$image" "$out"
  mode_check a
  secs=$(elapsed "$t_start" "$t_end")
  from=$secs
  if [[ "$kind" == moment && -n "${t_fault:-}" ]]; then
    after=$(elapsed "$t_fault" "$t_end")
    secs+=" ($after after fault)"
    from=$after
  fi
  if [[ "$d_rc" == 124 || "$d_rc" == 137 ]]; then
    secs="killed by timeout ($secs)"
    goal+=(time)
  elif awk -v s="$from" -v g="$goal_seconds" 'BEGIN { exit !(s > g) }'; then
    goal+=(time)
  fi
  if ((b_right < b_claimed)); then
    [[ "$kind" == garbage ]] || goal+=(claim)
  fi
  case $mode_state in
  download) goal+=(mode) ;;
  silent) ((askable)) && goal+=(mode) ;;
  esac
  rows+=("$key")
  r_label[$key]=$label
  r_exit[$key]=$(exit_text "$d_rc")
  r_secs[$key]=$secs
  r_bytes[$key]="$b_right/$b_claimed"
  r_mode[$key]=$mode_text
  r_summary[$key]=${summary:0:300}
  if ((${#goal[@]})); then
    r_goal[$key]="missed: ${goal[*]}"
    missed+=("$label")
  elif [[ "$kind" == garbage && $b_right -lt $b_claimed ]]; then
    r_goal[$key]="held; claims exempt"
  else
    r_goal[$key]=held
  fi
  echo "${key}_exit=$d_rc"
  echo "${key}_seconds=$secs"
  echo "${key}_bytes_right=$b_right"
  echo "${key}_bytes_claimed=$b_claimed"
  echo "${key}_normal_mode=$mode_text"
  echo "${key}_summary=${r_summary[$key]}"
  [[ -n "${r_note[$key]:-}" ]] && echo "${key}_note=${r_note[$key]}"
  echo "${key}_goal=${r_goal[$key]}"
}

# fault_row KEY LABEL MODEL OUT KIND ASKABLE [SIM_ARGS...] [-- DUMP_ARGS...]:
# a row whose fault is there from the start (KIND and ASKABLE as for record).
fault_row() {
  local key=$1 label=$2 model=$3 out=$4 kind=$5 askable=$6 sim_args=()
  shift 6
  while (($#)) && [[ "$1" != -- ]]; do
    sim_args+=("$1")
    shift
  done
  (($#)) && shift
  start_sim a "$model" "${sim_args[@]}"
  dump_start "$out" "$@"
  dump_finish
  t_fault=
  record "$key" "$label" "$work/a.img" "$out" "$kind" "$askable"
  stop_sims
}

bench_start=$(now)
# A rebuild during the run would mix two versions of the tool in one table.
binaries_stamp=$(stat -c %Y "$dump" "$sim")

out=$work/dump.bin
fault_row none "none" 497 "$out" start 1
fault_row drop "drop every 50" 497 "$out" start 1 --drop-every 50
fault_row garbage "garbage every 50" 497 "$out" garbage 1 --garbage-every 50
fault_row garbage_verify "garbage + --verify" 497 "$out" start 1 --garbage-every 50 -- --verify
# A loopback and a handbox that has stopped answering cannot be asked after.
fault_row echo "echo" 497 "$out" start 0 --echo
fault_row hang "hang after 40" 497 "$out" start 0 --hang-after 40

# Vanish: the moment is when the simulator reports its device gone.
start_sim a 497 --vanish-after 40
dump_start "$out"
t_fault=
while kill -0 "$dump_tpid" 2>/dev/null; do
  if grep -qs " vanished " "$work/a.log"; then
    t_fault=$(now)
    break
  fi
  sleep 0.02
done
dump_finish
[[ -z "$t_fault" ]] && grep -qs " vanished " "$work/a.log" && t_fault=$t_end
[[ -n "$t_fault" ]] || r_note[vanish]="the device did not vanish during the dump"
record vanish "vanish after 40" "$work/a.img" "$out" moment 0
stop_sims

# The LX200GPS: pages 00-6F, the same 64 KiB page layout; page 02 still.
fault_row busy "busy NAK every 5 (lx2001)" lx2001 "$out" start 1 --busy-every 5
# The tool has to find the handbox at 19200 by itself.
fault_row baud "handbox at 19200" 497 "$out" start 1 --baud 19200

# Killed with another handbox present: replies slowed to 30 ms, so that the
# page's 256 block reads take about 8 s and the kill lands among them.
start_sim a 497 --latency-ms 30
start_sim b 497
dump_start "$out"
wait_for_bytes "$out"
t_fault=$(now)
kill -9 "${sim_pid[a]}" 2>/dev/null
wait "${sim_pid[a]}" 2>/dev/null
dump_finish
mode_check b
other=$mode_text
# The second simulator reports block reads when its port is closed: any at
# all mean the dump went on from the other handbox.
stop_pid "${sim_pid[b]}"
unset 'sim_pid[b]'
b_reads=$(grep -c " block reads in " "$work/b.log")
r_note[killed]="killed when $fault_when; other handbox: normal mode $other, $b_reads block-read sessions on it"
[[ "$other" == yes* ]] || extra_goal+=(other-mode)
((b_reads == 0)) || extra_goal+=(read-other)
record killed "kill -9, other present" "$work/a.img" "$out" moment 0
stop_sims

fault_row devfull "-o /dev/full" 497 /dev/full start 1

# SIGTERM to hexvac-dump once its file holds a quarter of the page (replies
# slowed as for the kill, so that the signal lands among the block reads).
start_sim a 497 --latency-ms 30
dump_start "$out"
pid=$(dump_pid)
wait_for_bytes "$out"
t_fault=$(now)
[[ -n "$pid" ]] && kill -TERM "$pid" 2>/dev/null
dump_finish
r_note[sigterm]="SIGTERM when $fault_when"
record sigterm "SIGTERM mid-dump" "$work/a.img" "$out" moment 1
stop_sims

echo "bench_total_s=$(elapsed "$bench_start" "$(now)")"
[[ "$(stat -c %Y "$dump" "$sim" 2>/dev/null)" == "$binaries_stamp" ]] ||
  echo "faults.sh: warning: $dump or $sim changed during the run" >&2
echo
fmt='%-26s  %-17s  %-26s  %-13s  %-28s  %s\n'
# shellcheck disable=SC2059
printf "$fmt" "fault" "exit code" "seconds to end" "right/claimed" "handbox in normal mode" "goal"
# shellcheck disable=SC2059
printf "$fmt" "-----" "---------" "--------------" "-------------" "----------------------" "----"
for key in "${rows[@]}"; do
  # shellcheck disable=SC2059
  printf "$fmt" "${r_label[$key]}" "${r_exit[$key]}" "${r_secs[$key]}" "${r_bytes[$key]}" \
    "${r_mode[$key]}" "${r_goal[$key]}"
done
echo
for key in "${rows[@]}"; do
  printf '%-26s  %s\n' "${r_label[$key]}" "${r_summary[$key]:-(no summary)}"
  [[ -n "${r_note[$key]:-}" ]] && printf '%-26s  %s\n' "" "${r_note[$key]}"
done
echo
echo "exit codes: 0 complete, 1 no handbox, 2 usage, 3 incomplete/cancelled/lost, 4 file error"
echo "goal: every row ends within ${goal_seconds} s of its fault; right >= claimed (zero-filled"
echo "bytes may match by chance); every handbox that survives is left out of download mode"
echo "(garbage without --verify is exempt from the claims: its wrong bytes are what --verify is for)"
if ((${#missed[@]})); then
  echo "goal: missed in rows $(printf '"%s" ' "${missed[@]}")"
else
  echo "goal: held"
fi
exit 0
