#pragma once
// hexvac-dump --port COMn: the machine's ports as the tool sees them are
// that one port only. Building the port menu probes every listed port by
// opening it, and so would a detection restarted after a lost reply; but
// opening another program's port raises its control lines, which resets
// some devices and disturbs whatever talks on it. A port the user named is
// the only one touched.

// Shows only COM<Number> of the port backend in force, from now on.
void ShowNamedPortOnly(int Number);
