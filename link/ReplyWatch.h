#pragma once
// How long a dump waits for the first try of a piece before it counts the
// reply as lost.
//
// The block time-out (10 s) is there for a handbox that is slow to start;
// it is far longer than a reply's time on the line (133 bytes: 138 ms at
// 9600, 12 ms at 115200). A reply that lost a byte on the line, or a
// command the handbox never heard, would cost the whole time-out. So the
// first try of a piece waits only as long as a bound drawn from the line
// time and the replies seen so far in the run; a reply not whole by then is
// lost, the late bytes are let go by, and the piece is read again at once
// with the full time-out, so a handbox that is merely slow still dumps
// complete.

#include <QByteArray>
#include <QElapsedTimer>
#include <array>
#include <functional>

class TApdComPort;

class TReplyWatch {
public:
    explicit TReplyWatch(TApdComPort& Port)
        : port_(Port) {}

    struct TRead {
        QByteArray Bytes;
        // The wait was ended by the bound or by the time-out, not by a whole
        // reply: what came is no reply to be taken.
        bool Ended = false;
        bool Bounded = false; // the bound was in force for this read
        int Ms = 0;           // from the command to the end of the wait
    };

    // One read. ReadOnce sends the command and waits for its reply with the
    // full time-out. With Bounded, and once the run has seen replies to judge
    // by, the wait ends quietly at the bound for LineBytes bytes on the line
    // (command and reply).
    TRead Read(const std::function<QByteArray()>& ReadOnce, int LineBytes, bool Bounded);

    // After a lost first try: drops whatever still arrives until the line
    // has been quiet for the last bound, so that no late byte is taken into
    // the next reply. Whether anything arrived; what did also teaches the
    // bound how late a reply can be.
    bool DropLateBytes();

    // The bound for a read of LineBytes bytes on the line, in milliseconds;
    // 0 while there is nothing to judge by (the full time-out holds).
    int BoundMs(int LineBytes) const;

private:
    void Learn(qint64 Ms);

    TApdComPort& port_;
    // How long the latest whole replies took, from the command to the last
    // byte; the slowest of them sets the bound.
    static constexpr int Remembered = 32;
    std::array<qint64, Remembered> recent_{};
    int seen_ = 0;
    int lastBound_ = 0;
    QElapsedTimer sent_; // since the last read's command
};
