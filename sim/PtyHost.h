#pragma once
// Puts a simulated handbox on a pseudo-terminal and registers it as the
// virtual port COM<n>, so the program talks to it as to a handbox on a
// serial port.
//
// Like a real handbox it hears only what is sent at its own rate. The
// program's side sends the bytes it writes one after another, 10 bits each at
// the rate it is set to, and a byte is heard only if that side is still at the
// handbox's rate when the byte has left it: a program that changes the rate or
// closes the port before its last byte is out loses that byte. It can pace
// the line as a real one would and inject the faults the program must
// survive. It serves on the calling thread (Run) or on its own (Start), until
// stopped or until the vanish fault has taken it away.

#include "sim/Engine.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <iosfwd>
#include <optional>
#include <random>
#include <string>
#include <thread>

struct LineOptions {
    int PortNumber = 0; // COM<n> to register; 0 = the first free from 200
    bool Pace = false;  // bytes take their line time both ways, 10 bits each
    int LatencyMs = 0;  // extra delay before each reply
    // Faults. They count commands that get an answer; 0 = off.
    int DropEvery = 0;    // the reply to every Nth is not sent
    int GarbageEvery = 0; // the reply to every Nth is replaced by garbage
    bool Echo = false;    // every byte comes straight back, as on a loopback cable
    int HangAfter = 0;    // after N, nothing is answered any more
    int VanishAfter = 0;  // after N, the next byte makes the device disappear
    // Noise: each byte sent has one random bit flipped with this probability,
    // drawn from FlipSeed, so a run with the same seed flips the same bytes.
    double FlipRate = 0;
    std::uint64_t FlipSeed = 1;
};

class PtyHost {
public:
    PtyHost(HandboxEngine Engine, LineOptions Options);
    ~PtyHost();
    PtyHost(const PtyHost&) = delete;
    PtyHost& operator=(const PtyHost&) = delete;

    // Creates the pseudo-terminal and registers the port. False, with Error
    // set, when either fails (nothing is left behind).
    bool Open(std::string& Error);

    // Serves until RequestStop() or the vanish fault. Needs Open().
    void Run();
    // Run() on a thread of its own.
    void Start();
    // Ends Run() soon. Safe from a signal handler and from any thread.
    void RequestStop();
    // Ends serving, joins the thread, removes the port and closes the line.
    void Stop();

    const std::string& DevicePath() const { return device_; }
    const std::string& LinkPath() const { return link_; }
    int PortNumber() const { return port_; }
    bool Vanished() const { return vanished_; }
    const HandboxEngine& Engine() const { return engine_; }
    // Bytes that left with a bit flipped by the noise (--flip-rate).
    int Flipped() const { return flipped_; }
    // Where to tell, each time the program closes the port, how many block
    // reads it made and how long they took on the line, from the first
    // command's arrival to the last reply's last byte. None by default.
    void SetBlockReport(std::ostream* Report) { blockReport_ = Report; }
    // Where to write, one line each, every command the handbox heard and
    // what it answered ("heard :GVP# answered Autostar#"), bytes outside
    // printable ASCII as [hh]. None by default.
    void SetTrace(std::ostream* Trace) { trace_ = Trace; }

private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing {
        Clock::time_point Next; // when the next byte may leave
        Clock::duration Step{}; // line time of one byte when paced, else 0
        std::string Bytes;
        bool Block = false; // the reply to a block read
    };
    // A byte the program wrote, on its way: it reaches the handbox at End if
    // the line is at the handbox's rate then.
    struct Incoming {
        Clock::time_point End; // when its stop bit has left the program's side
        unsigned Rate = 0;     // the rate it was sent at
        int Session = 0;       // the opening of the port that sent it
        char Byte = 0;
    };
    struct BlockTiming {
        int Count = 0;
        Clock::time_point First{}, LastSent{};
    };

    void Close();
    void HandleInput(const char* Bytes, std::size_t Count);
    void ReadLeftInput();
    void DeliverArrived();
    void Arrive(const Incoming& Byte, bool Heard);
    std::optional<Clock::time_point> NextWake() const;
    void Queue(Clock::time_point Due, std::string Bytes, unsigned Rate, bool Block = false);
    void ReportBlocks();
    void SendDue();
    void LineDropped();
    bool PeerAttached() const;
    bool OpenedSinceLastLook();
    void Vanish();
    void Garble(std::string& Bytes);
    void AddNoise(std::string& Bytes);
    Clock::duration ByteTime(unsigned Rate) const;

    HandboxEngine engine_;
    LineOptions options_;
    int master_ = -1;
    int watch_ = -1;            // inotify: the program opening or closing its side
    std::atomic<int> wake_{-1}; // eventfd: stop requests, from any thread or a signal
    std::string device_, link_, folder_;
    int port_ = 0;

    bool attached_ = false; // the program has its side open
    bool writeBlocked_ = false;
    int session_ = 0;                // counts the openings of the port
    Clock::time_point inputFree_{};  // when the program's side has sent the input so far
    Clock::time_point outputFree_{}; // paced: when the queued output has left
    std::deque<Incoming> received_;  // read from the line, not yet arrived
    std::deque<Outgoing> pending_;
    int answered_ = 0;
    bool hung_ = false;
    std::uint32_t garbage_ = 0x2545F491;
    std::mt19937_64 noise_; // the same numbers on every platform, unlike the distributions
    std::atomic<int> flipped_{0};
    BlockTiming blocks_;
    std::ostream* blockReport_ = nullptr;
    std::ostream* trace_ = nullptr;
    std::string heard_; // bytes heard since the last answer, for the trace

    std::atomic<bool> vanished_{false};
    std::thread thread_;
};
