#pragma once
// A peer on a pseudo-terminal that answers from a script: when what it has
// received ends with a request, it sends that request's reply. It stands in
// for handbox answers the simulated handbox does not give (a stray letter, a
// ">D"), and records every byte it receives.

#include <QByteArray>
#include <QList>
#include <QString>
#include <atomic>
#include <mutex>
#include <thread>

class ScriptedPeer {
public:
    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    // Replies, tried in order; a reply given for the same request again is
    // used the next time that request comes. With DelayMs, the peer is busy
    // that long before it sends the reply, and answers what came meanwhile
    // only after.
    void Answer(const QByteArray& Request, const QByteArray& Reply, int DelayMs = 0);

    // Creates the terminal, registers it as a virtual port and starts
    // serving. Returns the port number, or 0 (with a test failure message in
    // Error).
    int Start(QString& Error);

    QByteArray Received() const;

private:
    void Serve();

    int master_ = -1;
    int slave_ = -1;
    int wake_[2] = {-1, -1};
    std::string link_, device_;
    std::thread thread_;
    mutable std::mutex mutex_;
    struct Line {
        QByteArray Request, Reply;
        int DelayMs = 0;
    };
    QList<Line> script_;
    QByteArray received_, pending_;
};
