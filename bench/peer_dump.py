#!/usr/bin/python3
# A plain blocking download-mode reader, the yardstick for hexvac-dump's speed:
# it puts the handbox in download mode as hexvac does (04 hex, a second's
# wait, 06 hex answered with "D" and held for the protocol's 385 ms), reads
# the upper half of every page with 128-byte block reads, asks the mode again,
# writes the file and leaves download mode with "I".
# Usage: peer_dump.py PORT FROM_PAGE TO_PAGE OUTPUT [RATE]   (pages in hex)
# Prints "bytes=N seconds=S bytes_per_s=R", the time from the 04 byte to "I".
import sys
import time

import serial

BLOCK = 128
# The mode query is held for 7 ticks of 55 ms: a parked handbox says more than "D".
MODE_HOLD_S = 0.385


def read_exactly(port, count):
    data = port.read(count)
    if len(data) != count:
        sys.exit(f"peer_dump: short reply: {len(data)} of {count} bytes")
    return data


def mode_query(port):
    port.write(b"\x06")
    time.sleep(MODE_HOLD_S)
    return read_exactly(port, 1)


def main():
    if len(sys.argv) not in (5, 6):
        sys.exit("usage: peer_dump.py PORT FROM_PAGE TO_PAGE OUTPUT [RATE]")
    path, first, last, output = sys.argv[1], int(sys.argv[2], 16), int(sys.argv[3], 16), sys.argv[4]
    rate = int(sys.argv[5]) if len(sys.argv) == 6 else 9600
    port = serial.Serial(path, rate, timeout=10)
    port.reset_input_buffer()
    start = time.monotonic()
    port.write(b"\x04")
    time.sleep(1.0)
    if mode_query(port) != b"D":
        sys.exit("peer_dump: the handbox did not enter download mode")
    out = bytearray()
    for page in range(first, last + 1):
        for block in range(0x80, 0x100):
            for low in (0x00, 0x80):
                port.write(bytes((ord("R"), page, block, low, BLOCK)))
                out += read_exactly(port, BLOCK)
    mode_query(port)
    port.write(b"I")
    port.flush()
    seconds = time.monotonic() - start
    port.close()
    with open(output, "wb") as f:
        f.write(out)
    print(f"bytes={len(out)} seconds={seconds:.3f} bytes_per_s={len(out) / seconds:.0f}")


if __name__ == "__main__":
    main()
