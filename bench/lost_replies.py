#!/usr/bin/python3
# What a lost reply costs a dump: page 02 of a simulated 497 in download
# mode, paced at 9600 and at 115200 baud, once on a clean line and once on a
# line that loses one reply in 50 (--drop-every 50); then the same with
# --verify, clean and with one reply in 50 replaced by garbage
# (--garbage-every 50, which only --verify can catch). Every file is compared
# byte for byte with the simulator's memory.
#
# Prints key=value lines: each dump's own time (from its summary, finding
# the handbox excluded), the ratio of each faulty dump to its clean one, and
# whether every ratio is within the goal of 1.5 and every file exact. The
# figures are one run's; missing the goal does not fail the script.
# Run: bench/lost_replies.py [BUILD_DIR]  (default $HEXVAC_BUILD_DIR, else
# build-rel, else build)
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

GOAL = 1.5
RATES = (9600, 115200)
PAGE = 2
# (key, simulator fault, hexvac-dump options, the clean row it is held to)
ROWS = (
    ("clean", [], [], None),
    ("drop50", ["--drop-every", "50"], [], "clean"),
    ("verify_clean", [], ["--verify"], None),
    ("verify_garbage50", ["--garbage-every", "50"], ["--verify"], "verify_clean"),
)


def build_dir():
    if len(sys.argv) > 1:
        return sys.argv[1]
    top = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if os.environ.get("HEXVAC_BUILD_DIR"):
        return os.environ["HEXVAC_BUILD_DIR"]
    release = os.path.join(top, "build-rel")
    return release if os.path.exists(os.path.join(release, "cli", "hexvac-dump")) else os.path.join(top, "build")


def start_sim(sim, work, rate, fault):
    """A paced 497 at RATE with FAULT; returns the process, its port and its image."""
    image = os.path.join(work, "image.bin")
    log = open(os.path.join(work, "sim.log"), "w+")
    proc = subprocess.Popen([sim, "--model", "497", "--baud", str(rate), "--pace", "--save-image", image] + fault,
                            stdout=log, stderr=subprocess.STDOUT)
    for _ in range(100):
        log.seek(0)
        match = re.search(r" on (COM\d+) ", log.read())
        if match:
            return proc, match.group(1), image
        if proc.poll() is not None:
            break
        time.sleep(0.1)
    proc.kill()
    sys.exit("lost_replies: the simulator did not start")


def dump(tool, work, port, options):
    """Page 02 into a file; returns (seconds, summary, file)."""
    out = os.path.join(work, "dump.bin")
    for name in (out, out + ".json"):
        if os.path.exists(name):
            os.remove(name)
    run = subprocess.run([tool, "--virtual-only", "--port", port, "--from", "%02X" % PAGE, "--to", "%02X" % PAGE,
                          "--mode", "download", "--yes", "-o", out] + options,
                         stdin=subprocess.DEVNULL, capture_output=True, text=True, timeout=900)
    summary = run.stdout.strip().splitlines()[-1] if run.stdout.strip() else run.stderr.strip()
    if run.returncode != 0:
        sys.exit("lost_replies: hexvac-dump ended with %d: %s" % (run.returncode, summary))
    # "... (Autostar 495/497 on COM200, download mode, 37.7 s, 869 bytes/s)":
    # bytes / (bytes/s) has more digits than the "s" field.
    rate = re.search(r", (\d+) bytes/s\)$", summary)
    if not rate or int(rate.group(1)) == 0:
        sys.exit("lost_replies: no summary line: " + summary)
    return os.path.getsize(out) / int(rate.group(1)), summary, out


def exact(image, out):
    with open(image, "rb") as f:
        f.seek(PAGE * 0x10000 + 0x8000)
        want = f.read(0x8000)
    with open(out, "rb") as f:
        return f.read() == want


def main():
    build = build_dir()
    sim = os.path.join(build, "sim", "hexvac-sim")
    tool = os.path.join(build, "cli", "hexvac-dump")
    if not (os.access(sim, os.X_OK) and os.access(tool, os.X_OK)):
        sys.exit("lost_replies: no hexvac-sim or hexvac-dump in %s (build them first)" % build)
    work = tempfile.mkdtemp()
    os.chmod(work, 0o700)
    # A private virtual ports folder: only this script's simulators are seen.
    os.environ["XDG_RUNTIME_DIR"] = work
    started = time.monotonic()
    held = True
    try:
        for rate in RATES:
            seconds = {}
            for key, fault, options, clean in ROWS:
                proc, port, image = start_sim(sim, work, rate, fault)
                try:
                    seconds[key], summary, out = dump(tool, work, port, options)
                    right = exact(image, out)
                finally:
                    proc.terminate()
                    proc.wait(10)
                name = "%s_%d" % (key, rate)
                print("%s_s=%.3f" % (name, seconds[key]))
                print("%s_exact=%s" % (name, "yes" if right else "NO"))
                print("%s_summary=%s" % (name, summary))
                held = held and right
                if clean:
                    ratio = seconds[key] / seconds[clean]
                    print("%s_ratio=%.3f" % (name, ratio))
                    held = held and ratio <= GOAL
                sys.stdout.flush()
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print("bench_total_s=%.1f" % (time.monotonic() - started))
    print("goal: every faulty dump within %.1fx its clean one, every file exact: %s"
          % (GOAL, "held" if held else "missed"))


if __name__ == "__main__":
    main()
