#pragma once
// Waiting until what was written has left the line.
//
// A UART sends each byte at the rate in force when the byte leaves, not when
// it was written. A rate change or a close right after a write (QSerialPort
// puts the terminal's old settings back when it closes) would send the last
// command ("I", "#", the baud change) at the wrong speed, and the handbox
// would not hear it. So before either, the port object drains the driver's
// transmit queue and waits until the last write has had its line time, plus
// a margin for a FIFO or a USB adapter that reports its queue empty while
// bytes are still going out (a pseudo-terminal reports it empty at once).

#include <QtGlobal>
#include <chrono>

class TSerialLine;

// Blocks until the open Line's transmit queue is empty and at least one
// character time (BitsPerChar bits at Baud) has passed since, and until
// SentBy. Milliseconds at most: the line's own time, spent in the driver and
// in one sleep, never spinning.
void WaitUntilSent(TSerialLine& Line, int Baud, int BitsPerChar,
                   std::chrono::steady_clock::time_point SentBy);

// Line time of Bytes characters of BitsPerChar bits at Baud.
std::chrono::microseconds LineTime(qint64 Bytes, int Baud, int BitsPerChar);
