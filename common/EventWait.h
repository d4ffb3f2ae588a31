#pragma once
// Waiting without spinning. Every wait in Hexvac sleeps in the event loop
// until something happens, so serial events, timers and clicks keep being
// handled while a probe or a notice waits.

// Handles the events that are pending now, once ("process pending window
// messages").
void ProcessPendingMessages();

// Sleeps in a local event loop for Ms milliseconds (under the test scale of
// Timing), handling every event that arrives meanwhile.
void WaitInEventLoop(int Ms);

// The same for Ms of real time, whatever the test scale: for a wait that is
// the line's own (how long a reply may take, how long the line must stay
// quiet), which no test may shorten below what a loaded machine meets.
void WaitInEventLoopUnscaled(int Ms);

// The same for a wait that a reply must meet (listening for the answer to
// an ACK): under the test scale it is never shortened below the floor of
// Timing::ScaledReplyWait.
void WaitForRepliesInEventLoop(int Ms);
