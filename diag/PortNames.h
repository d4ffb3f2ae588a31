#pragma once
// Which system device a port number means.
//
// Menus, tags and messages speak of "COM" + n. On Windows that is the
// system's own name. Elsewhere a virtual port (a link named COM<n> in the
// user's virtual ports folder) comes first; then ttyS<k> is COM(k+1),
// ttyUSB<k> is COM(33+k) and ttyACM<k> is COM(65+k) for k below 32.

#include <QString>

// The device to open for COM<Number>, or empty when the number maps to none.
// The device need not exist.
QString DeviceForComNumber(int Number);
