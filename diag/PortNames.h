#pragma once
// Which system device a port number means.
//
// Menus, tags and messages speak of "COM" + n. On Windows that is the
// system's own name. Elsewhere the numbers are those the port enumeration
// gives (PortEnumLinux.h), virtual ports first; the active system console is
// never a port.

#include <QString>

// The device to open for COM<Number>, or empty when the number maps to none.
// A ttyS, ttyUSB or ttyACM number maps to its device even when absent.
QString DeviceForComNumber(int Number);
