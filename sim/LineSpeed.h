#pragma once
// The line settings of a pseudo-terminal, through the termios2 interface so
// that any rate (14400, 28800...) is read and set as a number.
//
// <asm/termbits.h> and <termios.h> both define struct termios, so only
// LineSpeed.cpp includes the former, and the rest of the simulator uses these
// functions instead of either header.

#include <optional>

struct LineSpeed {
    unsigned Input = 0;
    unsigned Output = 0;
};

// The rates of the terminal Fd refers to. On a pseudo-terminal's master side
// this reports the slave's settings: what the program on the far side set.
std::optional<LineSpeed> ReadLineSpeed(int Fd);

// Raw 8N1, no flow control, no echo, both directions at Rate. Applied to a
// master, it sets the slave side.
bool SetRawLine(int Fd, unsigned Rate);
