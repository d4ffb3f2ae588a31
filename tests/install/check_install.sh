#!/usr/bin/env bash
# The installed tree, as a package would ship it: installs the build into a
# temporary prefix, checks that exactly the programs, the desktop entry, the
# icon, the metainfo and the manual pages are there (no test program, no
# benchmark, no static library), that the installed programs run, and that a
# dump by the installed hexvac-dump from the installed hexvac-sim gives the
# simulator's bytes. Then the desktop entry and the metainfo go through
# desktop-file-validate and appstreamcli, and the manual pages through groff.
#   check_install.sh BUILD_DIR VERSION   (CMAKE: the cmake to install with)
set -uo pipefail
build=$1
version=$2
cmake=${CMAKE:-cmake}

failures=0
fail() {
  echo "check_install: FAIL: $*" >&2
  failures=$((failures + 1))
}
die() {
  echo "check_install: $*" >&2
  exit 1
}

work=$(mktemp -d)
chmod 700 "$work"
stage=$work/prefix
sim_pid=
cleanup() {
  if [[ -n "$sim_pid" ]]; then
    kill "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$work"
}
trap cleanup EXIT

"$cmake" --install "$build" --prefix "$stage" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; die "cmake --install failed"; }

# Exactly these files, a manual page compressed or not.
expected=(
  bin/hexvac
  bin/hexvac-dump
  bin/hexvac-sim
  share/applications/hexvac.desktop
  share/icons/hicolor/scalable/apps/hexvac.svg
  share/metainfo/io.github.hexvac.Hexvac.metainfo.xml
  share/man/man1/hexvac-dump.1
  share/man/man1/hexvac-sim.1
  share/man/man1/hexvac.1
)
installed=$(cd "$stage" && find . ! -type d -printf '%P\n' | sed 's#^\(share/man/man1/.*\.1\)\.gz$#\1#' | sort)
wanted=$(printf '%s\n' "${expected[@]}" | sort)
if [[ "$installed" != "$wanted" ]]; then
  fail "the installed files differ from the expected ones (< missing, > not expected):"
  diff <(echo "$wanted") <(echo "$installed") | grep '^[<>]' >&2
fi
for program in hexvac hexvac-dump hexvac-sim; do
  [[ -x "$stage/bin/$program" ]] || fail "bin/$program is not an executable"
done

# An installed program must not look for libraries in the build tree.
if command -v readelf >/dev/null; then
  for program in hexvac hexvac-dump hexvac-sim; do
    if readelf -d "$stage/bin/$program" 2>/dev/null | grep -E 'R(UN)?PATH' | grep -qF "$build"; then
      fail "bin/$program keeps a library path into the build tree"
    fi
  done
fi

# The installed programs start and know their version.
for program in hexvac-dump hexvac-sim hexvac; do
  out=$(QT_QPA_PLATFORM=offscreen "$stage/bin/$program" --version 2>"$work/version.err")
  status=$?
  if ((status != 0)); then
    fail "$program --version ended with $status: $out $(cat "$work/version.err")"
  elif [[ "$out" != "$program $version"* ]]; then
    fail "$program --version printed \"$out\", not \"$program $version...\""
  fi
done

# A dump by the installed programs, on a virtual ports folder of our own.
export XDG_RUNTIME_DIR=$work
"$stage/bin/hexvac-sim" --model 497 --save-image "$work/image.bin" >"$work/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do
  grep -q " on COM" "$work/sim.log" && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q " on COM" "$work/sim.log"; then
  fail "the installed hexvac-sim did not start: $(cat "$work/sim.log")"
else
  timeout 60 "$stage/bin/hexvac-dump" --virtual-only --from 02 --to 02 --yes \
    -o "$work/page02.bin" </dev/null >"$work/dump.log" 2>&1
  status=$?
  if ((status != 0)); then
    fail "the installed hexvac-dump ended with $status: $(cat "$work/dump.log")"
  else
    # Page 02's addresses 8000-FFFF: offset 2*65536+0x8000 of the image.
    dd if="$work/image.bin" of="$work/expected.bin" bs=32768 skip=5 count=1 status=none
    cmp "$work/expected.bin" "$work/page02.bin" >&2 ||
      fail "the dump of page 02 differs from the simulator's memory"
  fi
fi
kill "$sim_pid" 2>/dev/null
wait "$sim_pid" 2>/dev/null
sim_pid=

# The desktop entry names an installed program and an installed icon, and
# the metainfo the installed desktop entry (validate-tree checks that).
desktop=$stage/share/applications/hexvac.desktop
metainfo=$stage/share/metainfo/io.github.hexvac.Hexvac.metainfo.xml
if [[ -f "$desktop" ]]; then
  exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
  icon_name=$(sed -n 's/^Icon=//p' "$desktop")
  [[ -n "$exec_name" && -x "$stage/bin/$exec_name" ]] ||
    fail "the desktop entry starts \"$exec_name\", which is not installed"
  [[ -n "$icon_name" && -f "$stage/share/icons/hicolor/scalable/apps/$icon_name.svg" ]] ||
    fail "the desktop entry's icon \"$icon_name\" is not installed"
  if command -v desktop-file-validate >/dev/null; then
    out=$(desktop-file-validate "$desktop" 2>&1)
    [[ $? -eq 0 && -z "$out" ]] || fail "desktop-file-validate: $out"
  else
    fail "no desktop-file-validate (scripts/setup --tests installs desktop-file-utils)"
  fi
fi
if [[ -f "$metainfo" ]]; then
  id=$(sed -n 's#.*<id>\(.*\)</id>.*#\1#p' "$metainfo")
  [[ "$(basename "$metainfo")" == "$id.metainfo.xml" ]] ||
    fail "the metainfo's file name does not match its id \"$id\""
  if command -v appstreamcli >/dev/null; then
    appstreamcli validate-tree --no-net "$stage" >"$work/appstream.log" 2>&1 ||
      fail "appstreamcli validate-tree: $(cat "$work/appstream.log")"
  else
    fail "no appstreamcli (scripts/setup --tests installs appstream)"
  fi
fi

# Each manual page formats without a warning and has a NAME line that
# apropos and whatis can read.
for page in "$stage"/share/man/man1/*; do
  text=$work/page
  case $page in
  *.gz) gzip -dc "$page" >"$text" ;;
  *) cp "$page" "$text" ;;
  esac
  out=$(groff -man -Tutf8 -ww -z "$text" 2>&1)
  [[ $? -eq 0 && -z "$out" ]] || fail "groff warns about $(basename "$page"): $out"
  if command -v lexgrog >/dev/null; then
    lexgrog "$text" >/dev/null 2>&1 || fail "lexgrog finds no NAME line in $(basename "$page")"
  fi
done

if ((failures > 0)); then
  echo "check_install: $failures failures" >&2
  exit 1
fi
echo "check_install: the installed tree is complete, runs, and validates"
