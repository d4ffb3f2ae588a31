#pragma once
// Every fixed duration of the program, in one place.
//
// Production uses the real values. Tests may scale them down with
// Timing::SetTestScale so that a one-second notice or a start-up delay does
// not slow the suite; the serial tick arithmetic (TicksFor) is never scaled,
// only the wall-clock waits that come from it are.

namespace Timing {

// Serial timer triggers count in ticks of this many milliseconds.
inline constexpr int SerialTickMs = 55;
// A timer that is disarmed is parked at this many ticks, inactive.
inline constexpr int ParkedTimerTicks = 36;
// How long the one-second notice stays up.
inline constexpr int NoticeMs = 1000;
// Delay between showing the main window and asking the start-up question.
inline constexpr int StartupQuestionMs = 1000;
// A write has left the line this long after its line time, before the
// line's rate changes or the port closes: a FIFO or a USB adapter may report
// its queue empty while bytes are still going out, and a pseudo-terminal's
// far side reads them only when it is next scheduled. Line physics, never
// scaled; waited only when the rate changes or the port closes that soon
// after a write.
inline constexpr int LineDrainMarginMs = 20;

// A dump that got no reply waits for the line to fall this quiet before it
// asks the handbox anything, so a late reply is not taken for the answer.
inline constexpr int LateReplyQuietMs = 100;

// The least a dump's first try of a piece waits before its reply counts as
// lost, however fast the replies before it came: a loaded machine, or a USB
// adapter holding bytes for its latency timer, may keep a reply back this
// long. Line physics, never scaled.
inline constexpr int LostReplyFloorMs = 50;

// A busy handbox (it answered a lone NAK) is sent the command again after
// this pause.
inline constexpr int BusyResendMs = 100;

// ---- Reply time-outs of the handbox's commands -----------------------------------
// How long each command waits for its reply. Counted in serial ticks, so
// never scaled.

// The product name, firmware date and version questions, and "T".
inline constexpr int IdentityReplyMs = 5000;
// The mode query's ACK waits out this hold, whatever arrives.
inline constexpr int ModeHoldMs = 400;
// The parked checks a handbox that is not parked leaves unanswered.
inline constexpr int ParkProbeMs = 100;
// The lone "#" that clears a half-command before a rate is tried.
inline constexpr int FlushProbeMs = 100;
// The handbox's "1" for a rate change, sent at the old rate.
inline constexpr int BaudChangeReplyMs = 5000;
// A peek in normal mode.
inline constexpr int PeekReplyMs = 5000;
// The peek and poke test's quiet questions.
inline constexpr int ProbeReplyMs = 500;
// A poke's "#".
inline constexpr int PokeReplyMs = 1000;
// The switch into download mode, and the way back out.
inline constexpr int EnterDownloadReplyMs = 5000;
inline constexpr int LeaveDownloadReplyMs = 2000;
// One half block of a download-mode dump.
inline constexpr int BlockReplyMs = 10000;
// Closing: the ACK that asks whether the handbox is still in download mode.
inline constexpr int CloseModeReplyMs = 3000;

// ---- Fixed pauses --------------------------------------------------------------
// Waited in the event loop; scaled in tests.

// After the switch into download mode, before the first block is asked.
inline constexpr int EnterDownloadSettleMs = 1000;
// Closing: how long an ACK is listened to for any answer at all.
inline constexpr int CloseListenMs = 500;
// Reacquisition after a time-out: the pause after the "#" that ends a
// half-command, each step of waiting for what the handbox still sends, and
// how long the ACK that follows is listened to.
inline constexpr int ReacquireFlushMs = 200;
inline constexpr int ReacquireDrainStepMs = 100;
inline constexpr int ReacquireListenMs = 2000;

// A time-out in milliseconds as whole serial ticks, rounded to the nearest.
constexpr int TicksFor(int Ms) {
    return (Ms + SerialTickMs / 2) / SerialTickMs;
}

// The wall-clock length of Ms under the current scale (Ms in production).
int Scaled(int Ms);

// A wait that a reply must meet (a reply time-out, the mode query's hold,
// the listening after an ACK) is never scaled below this, nor below its
// real length when that is shorter: on a loaded machine the far side's
// answer may take this long to be scheduled, read and handled.
inline constexpr int ReplyWaitFloorMs = 250;

// The wall-clock length of a wait that a reply must meet: Scaled(Ms), but
// not below the floor above (Ms in production).
int ScaledReplyWait(int Ms);

// Test-only: run every fixed wait at Percent of its real length (1..100).
void SetTestScale(int Percent);

} // namespace Timing
