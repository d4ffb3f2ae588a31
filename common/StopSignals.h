#pragma once
// Ctrl-C, SIGTERM and SIGHUP (on Windows: Ctrl-C, Ctrl-Break and closing the
// console) as a request to stop, told to the program in its event loop.
//
// A tool that is stopped in the middle of a dump must still end the dump
// cleanly: leave download mode, put the handbox's rate back, keep the file.
// So the signal does not end the process; it sets a flag that the loops
// test, and OnStop runs as an ordinary event so that it may end the wait of
// a running exchange at once.

#include <functional>

// Catches the stop signals from now on. OnStop runs in the event loop, once
// per signal. Needs a QCoreApplication.
void CatchStopSignals(std::function<void()> OnStop);

// OnStop is not called any more (the signals are still caught).
void ClearStopHandler();

// Whether a stop signal has arrived since CatchStopSignals.
bool StopSignalled();

// Waits until standard input has a line to read or a stop signal arrives;
// false for the signal. The console's questions wait here, so that Ctrl-C
// at a question stops the tool like anywhere else.
bool WaitForInputUnlessStopped();
