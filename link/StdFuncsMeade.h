#pragma once
// Conversations with the handbox and the program's own identity.

#include <QString>

// "<exe name>  Ver: <version>   Created <modification date and time>", or
// "Ver Unknown" (after the plain message "GetVersionInfo Failed") when the
// program's version information cannot be read.
QString GetVersionText();

// The same text for a given executable and version; an empty version or an
// unreadable file fails as above.
QString VersionTextFor(const QString& ExecutablePath, const QString& Version);

class TApdComPort;

// Asks the handbox its mode with the ACK byte (06 hex), and when that gets no
// useful answer, probes quietly with "#:ED#" and "#:EC#" for a parked
// telescope. Keeps LinkState.Parked and InDownloadMode in step. The first
// character of the result is what callers test: "A"lt/AZ, "L"and,
// "P"olar, "G"EM, "D"ownload mode, "I"s parked, or " " for no answer.
QString QueryMode(TApdComPort& Port);
