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

// A busy handbox (it answered a lone NAK) is sent the command again after
// this pause.
inline constexpr int BusyResendMs = 100;

// A time-out in milliseconds as whole serial ticks, rounded to the nearest.
constexpr int TicksFor(int Ms) {
    return (Ms + SerialTickMs / 2) / SerialTickMs;
}

// The wall-clock length of Ms under the current scale (Ms in production).
int Scaled(int Ms);

// Test-only: run every fixed wait at Percent of its real length (1..100).
void SetTestScale(int Percent);

} // namespace Timing
