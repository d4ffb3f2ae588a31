#pragma once
// Line speeds on Linux beyond what QSerialPort manages.
//
// A terminal keeps a separate input speed field (CIBAUD) next to the output
// speed. Zero there means "input at the output speed", which is how a device
// starts after boot. A program that set the input speed by itself (stty
// ispeed, termios2 with BOTHER in the input field, as the simulated
// handbox's host does for a rate without a classic constant) leaves it
// non-zero, and then QSerialPort's standard rates, set
// through cfsetispeed/cfsetospeed and tcsetattr, change only the output
// speed: the line is left receiving at the old rate.

class QSerialPort;

// Makes the input speed of the open Port follow its output speed from now
// on, whatever rate QSerialPort sets next. True when done, or when there is
// nothing to do (not Linux, or the field already clear).
bool TieInputSpeedToOutput(QSerialPort& Port);
