#pragma once
// Waiting until what was written has left the line.
//
// A UART sends each byte at the rate in force when the byte leaves, not when
// it was written. A rate change or a close right after a write (QSerialPort
// puts the terminal's old settings back when it closes) would send the last
// command ("I", "#", the baud change) at the wrong speed, and the handbox
// would not hear it. So before either, the port object drains the driver's
// transmit queue and waits out the last character, plus a margin for a FIFO
// or a USB adapter that reports its queue empty a little early.

class QSerialPort;

// Blocks until the open Port's transmit queue is empty, then for one
// character of BitsPerChar bits at Baud plus the margin. A few milliseconds:
// the line's own time, spent in the driver and in one sleep, never spinning.
void WaitUntilSent(QSerialPort& Port, int Baud, int BitsPerChar);
