#include "serial/LineDrain.h"

#include "serial/SerialLine.h"

#include <algorithm>
#include <thread>

std::chrono::microseconds LineTime(qint64 Bytes, int Baud, int BitsPerChar) {
    if (Baud <= 0)
        return std::chrono::microseconds(0);
    return std::chrono::microseconds((Bytes * BitsPerChar * 1000000LL + Baud - 1) / Baud);
}

void WaitUntilSent(TSerialLine& Line, int Baud, int BitsPerChar,
                   std::chrono::steady_clock::time_point SentBy) {
    Line.DrainTransmit();
    // The shift register still holds the last character when the queue is empty.
    const auto until =
        std::max(SentBy, std::chrono::steady_clock::now() + LineTime(1, Baud, BitsPerChar));
    std::this_thread::sleep_until(until);
}
