#!/usr/bin/env bash
# What a real window manager (openbox on a virtual X display) makes of the
# program's dialogs: message boxes and questions show no caption, and the
# port lock window has no title bar, so no button on one. Says it is skipped
# (exit 77) where no X server or window manager starts.
#   check_window_manager.sh PROBE
set -euo pipefail
probe=$1
for tool in Xvfb openbox xprop; do
  if ! command -v "$tool" >/dev/null; then
    echo "SKIPPED: $tool is not installed (scripts/setup --tests installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to ten seconds for a command to succeed.
await() {
  for _ in $(seq 100); do
    "$@" >/dev/null 2>&1 && return 0
    sleep 0.1
  done
  return 1
}

# A free display, picked by the server itself.
Xvfb -displayfd 5 -screen 0 1024x768x24 -nolisten tcp 5>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
if ! await test -s "$work/display"; then
  echo "SKIPPED: no X server starts here"
  cat "$work/xvfb.log"
  exit 77
fi
export DISPLAY=:$(head -n1 "$work/display")
openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
if ! await sh -c 'xprop -root _NET_SUPPORTING_WM_CHECK | grep -q "window id"'; then
  echo "SKIPPED: openbox does not start on $DISPLAY"
  cat "$work/openbox.log"
  exit 77
fi

failures=0
fail() {
  echo "FAIL: $*"
  failures=$((failures + 1))
}

# Shows one window of the probe; prints its id once the window manager has
# framed it.
show() {
  QT_QPA_PLATFORM=xcb "$probe" "$1" >"$work/$1.id" 2>"$work/$1.err" &
  pids+=($!)
  if ! await test -s "$work/$1.id"; then
    cat "$work/$1.err" >&2
    return 1
  fi
  local id
  id=$(head -n1 "$work/$1.id")
  await sh -c "xprop -id $id _NET_FRAME_EXTENTS | grep -q ' = '" || return 1
  echo "$id"
}

# The top of the frame openbox drew: its title bar, or only a border.
frame_top() {
  xprop -id "$1" _NET_FRAME_EXTENTS | sed -n 's/.* = \([0-9]*\), \([0-9]*\), \([0-9]*\), \([0-9]*\)$/\3/p'
}

for what in message question; do
  if ! id=$(show "$what"); then
    fail "the $what window did not appear"
    continue
  fi
  name=$(xprop -id "$id" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME([A-Z0-9_]*) = "\(.*\)"$/\1/p')
  if [[ -n ${name// /} ]]; then
    fail "the $what window's caption is \"$name\", not empty"
  fi
  visible=$(xprop -id "$id" _NET_WM_VISIBLE_NAME | sed -n 's/^.* = "\(.*\)"$/\1/p')
  if [[ -n ${visible// /} ]]; then
    fail "openbox shows the $what window's caption as \"$visible\""
  fi
  # A title bar it has, so that the port lock window's lack of one below
  # means something.
  top=$(frame_top "$id")
  if [[ -z $top || $top -lt 10 ]]; then
    fail "the $what window has no title bar (frame top ${top:-none})"
  fi
  echo "$what: caption \"$name\", frame top $top"
done

if id=$(show portlock); then
  top=$(frame_top "$id")
  if [[ -z $top || $top -ge 10 ]]; then
    fail "the port lock window has a title bar with its buttons (frame top ${top:-none})"
  fi
  echo "portlock: frame top $top"
else
  fail "the port lock window did not appear"
fi

((failures == 0))
