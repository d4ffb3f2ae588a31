#!/usr/bin/env bash
# Dump benchmarks against the simulated 497, each dump checked byte for byte
# against the simulator's saved image: line efficiency paced at 115200 and 9600
# baud, speed against bench/peer_dump.py (plain pyserial, unpaced), CPU time per
# wall time, peak memory for 1 and 32 pages. Prints key=value lines.
#
# The block reads are timed by the simulator, the same way for Hexvac and the
# peer: from the first block command's arrival to the last reply's last byte.
# A whole run also holds the waits the handbox protocol itself asks for (a
# second after 04 hex, two held mode queries of 385 ms); its ideal time is the
# line time of every byte plus those waits.
# Run: scripts/setup --bench; bench/dump.sh [BUILD_DIR]  (default build-rel)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-${HEXVAC_BUILD_DIR:-$top/build-rel}}
sim=$build/sim/hexvac-sim
dump=$build/cli/hexvac-dump
python=/usr/bin/python3
timer=/usr/bin/time

work=$(mktemp -d)
chmod 700 "$work"
# A private virtual ports folder: only the simulator's port is seen.
export XDG_RUNTIME_DIR="$work"
sim_pid=
stop_sim() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null || true
    wait "$sim_pid" 2>/dev/null || true
    sim_pid=
  fi
}
cleanup() {
  stop_sim
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

fail() {
  echo "dump.sh: $*" >&2
  exit 1
}

# start_sim ARGS...: a simulated 497 with its image in $work/image.bin; sets port_link.
start_sim() {
  stop_sim
  sim_reports=0
  rm -f "$work/image.bin" "$work/sim.log"
  "$sim" --model 497 --save-image "$work/image.bin" "$@" >"$work/sim.log" 2>&1 &
  sim_pid=$!
  for _ in $(seq 100); do
    grep -qs " on COM" "$work/sim.log" && break
    kill -0 "$sim_pid" 2>/dev/null || break
    sleep 0.1
  done
  grep -q " on COM" "$work/sim.log" || fail "the simulator did not start: $(cat "$work/sim.log")"
  port_link=$(sed -n 's/.*, link \(.*\)) at .*/\1/p' "$work/sim.log")
}

# expected FROM TO FILE: the upper halves of pages FROM..TO (hex) from the image.
expected() {
  local from=$((16#$1)) to=$((16#$2)) page
  : >"$3"
  for ((page = from; page <= to; ++page)); do
    dd if="$work/image.bin" bs=32768 skip=$((page * 2 + 1)) count=1 status=none >>"$3"
  done
}

# verify NAME DUMP FROM TO: the dump must equal the simulator's memory.
verify() {
  expected "$3" "$4" "$work/expected.bin"
  cmp -s "$2" "$work/expected.bin" ||
    fail "$1: the dump differs from the simulator's memory ($(cmp "$2" "$work/expected.bin" 2>&1 || true))"
}

# run_dump NAME FROM TO [ARGS...]: hexvac-dump under /usr/bin/time; sets
# d_bytes, d_seconds (the tool's own dump time, finding the handbox excluded),
# d_user, d_sys, d_wall, d_rss_kb.
run_dump() {
  local name=$1 from=$2 to=$3 status=0 summary bps
  shift 3
  rm -f "$work/dump.bin"
  "$timer" -o "$work/time.txt" -f "%U %S %e %M" \
    "$dump" --virtual-only --from "$from" --to "$to" --mode download --yes \
    -o "$work/dump.bin" "$@" >"$work/dump.out" 2>"$work/dump.err" </dev/null || status=$?
  ((status == 0)) || fail "$name: hexvac-dump ended with $status: $(cat "$work/dump.out" "$work/dump.err")"
  summary=$(tail -n1 "$work/dump.out")
  d_bytes=$(stat -c %s "$work/dump.bin")
  # "... (Autostar 495/497 on COM200, download mode, 37.7 s, 869 bytes/s)":
  # bytes / (bytes/s) gives the seconds with more digits than the "s" field.
  bps=$(sed -n 's/.*, \([0-9]*\) bytes\/s)$/\1/p' <<<"$summary")
  [[ -n "$bps" && "$bps" != 0 ]] || fail "$name: no summary line: $summary"
  d_seconds=$(awk -v b="$d_bytes" -v r="$bps" 'BEGIN { printf "%.3f", b / r }')
  read -r d_user d_sys d_wall d_rss_kb < <(tail -n1 "$work/time.txt")
  verify "$name" "$work/dump.bin" "$from" "$to"
}

# block_time: the simulator's timing of the block reads of the session that
# has just ended (it reports when the port is closed); sets b_count, b_seconds.
block_time() {
  local reports=0
  for _ in $(seq 50); do
    reports=$(grep -c " block reads in " "$work/sim.log" || true)
    ((reports > sim_reports)) && break
    sleep 0.1
  done
  ((reports > sim_reports)) || fail "the simulator reported no block reads"
  sim_reports=$reports
  read -r b_count b_seconds < <(grep " block reads in " "$work/sim.log" | tail -n1 |
    sed 's/.*: \([0-9]*\) block reads in \([0-9.]*\) s$/\1 \2/')
}

# The waits of a download-mode run that no reader can shorten: a second
# after 04 hex, and the two mode queries held for 7 ticks of 55 ms.
protocol_waits_s=1.770

# line_share RATE: "IDEAL EFFICIENCY" for the block reads (128 bytes each, a
# 5-byte command between two), then for the whole run: 04 hex, 06 hex and
# its "D" going in, a 5-byte command and 128 bytes per block, 06 hex and "D"
# again and the closing "I", plus the protocol's waits. 10 bits a byte.
line_share() { # RATE
  awk -v n="$b_count" -v bs="$b_seconds" -v b="$d_bytes" -v s="$d_seconds" -v rate="$1" \
    -v waits="$protocol_waits_s" 'BEGIN {
    blocks = (n * 128 + (n - 1) * 5) * 10 / rate
    run = (3 + b / 128 * (5 + 128) + 3) * 10 / rate + waits
    printf "%.3f %.3f %.3f %.3f\n", blocks, blocks / bs, run, run / s }'
}

# median VALUES...: the middle one of an odd count.
median() {
  printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'
}

bench_start=$(date +%s.%N)

# paced_dump KEY RATE FROM TO: a dump from a simulator pacing its line at
# RATE; prints its line efficiency as KEY_* lines.
paced_dump() {
  local key=$1 rate=$2
  start_sim --baud "$rate" --pace
  run_dump "$key" "$3" "$4"
  block_time
  read -r ideal_blocks share_blocks ideal_run share_run < <(line_share "$rate")
  echo "${key}_pages=$3-$4"
  echo "${key}_bytes=$d_bytes"
  echo "${key}_block_reads=$b_count"
  echo "${key}_blocks_ideal_s=$ideal_blocks"
  echo "${key}_blocks_s=$b_seconds"
  echo "${key}_blocks_efficiency=$share_blocks"
  echo "${key}_run_ideal_s=$ideal_run"
  echo "${key}_run_s=$d_seconds"
  echo "${key}_run_efficiency=$share_run"
  echo "${key}_process_wall_s=$d_wall"
}

# 1 and 3: line efficiency and CPU share, paced at 115200 (pages 2..5),
# three rounds and their medians.
blocks=() runs=() cpus=()
for round in 1 2 3; do
  paced_dump "line115200_round$round" 115200 02 05
  cpu=$(awk -v u="$d_user" -v s="$d_sys" -v w="$d_wall" 'BEGIN { printf "%.4f", (u + s) / w }')
  echo "cpu115200_round${round}_user_s=$d_user"
  echo "cpu115200_round${round}_sys_s=$d_sys"
  echo "cpu115200_round${round}_share=$cpu"
  blocks+=("$share_blocks") runs+=("$share_run") cpus+=("$cpu")
done
echo "line115200_blocks_efficiency=$(median "${blocks[@]}")"
echo "line115200_run_efficiency=$(median "${runs[@]}")"
echo "cpu115200_share=$(median "${cpus[@]}")"

# 1: line efficiency, paced at 9600 (page 2).
paced_dump line9600 9600 02 02

# 2: against the plain reader, unpaced, all 32 pages, five rounds taken in
# turn; the handbox stays at 9600 so that both find it at the rate it is
# left at. Block reads per second as the simulator timed them, and whole
# runs as each timed itself (both wait out the same protocol waits).
start_sim --baud 9600
ratios=() run_ratios=()
for round in 1 2 3 4 5; do
  run_dump peer_hexvac 0 1F
  block_time
  hexvac_bps=$(awk -v b="$d_bytes" -v s="$b_seconds" 'BEGIN { printf "%.0f", b / s }')
  hexvac_run_bps=$(awk -v b="$d_bytes" -v s="$d_seconds" 'BEGIN { printf "%.0f", b / s }')
  "$python" "$top/bench/peer_dump.py" "$port_link" 0 1F "$work/peer.bin" 9600 >"$work/peer.out" ||
    fail "peer_dump.py failed"
  verify peer_script "$work/peer.bin" 0 1F
  block_time
  peer_bps=$(awk -v b="$(stat -c %s "$work/peer.bin")" -v s="$b_seconds" 'BEGIN { printf "%.0f", b / s }')
  peer_run_bps=$(sed -n 's/.*bytes_per_s=\([0-9]*\).*/\1/p' "$work/peer.out")
  echo "peer_round${round}_hexvac_blocks_bytes_per_s=$hexvac_bps"
  echo "peer_round${round}_script_blocks_bytes_per_s=$peer_bps"
  echo "peer_round${round}_hexvac_run_bytes_per_s=$hexvac_run_bps"
  echo "peer_round${round}_script_run_bytes_per_s=$peer_run_bps"
  ratios+=("$(awk -v h="$hexvac_bps" -v p="$peer_bps" 'BEGIN { printf "%.3f", h / p }')")
  run_ratios+=("$(awk -v h="$hexvac_run_bps" -v p="$peer_run_bps" 'BEGIN { printf "%.3f", h / p }')")
done
echo "peer_pages=00-1F"
echo "peer_blocks_ratios=${ratios[*]}"
echo "peer_blocks_ratio=$(median "${ratios[@]}")"
echo "peer_run_ratio=$(median "${run_ratios[@]}")"

# 4: peak memory, unpaced: one page, then all 32 (00-1F, 1 MiB).
run_dump rss1 2 2
echo "rss_1page_kb=$d_rss_kb"
run_dump rss32 0 1F
echo "rss_32pages_kb=$d_rss_kb"
echo "rss_32pages_bytes=$d_bytes"
stop_sim

echo "bench_total_s=$(awk -v a="$bench_start" -v b="$(date +%s.%N)" 'BEGIN { printf "%.1f", b - a }')"
