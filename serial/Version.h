#pragma once
// The program's own identity, as the About box and the head of every log
// show it.

#include <QString>

// "<exe name>  Ver: <version>   Created <modification date and time>", or
// "Ver Unknown" (after the plain message "GetVersionInfo Failed") when the
// program's version information cannot be read.
QString GetVersionText();

// The running program's version: its executable's version resource on
// Windows, the version compiled in elsewhere. Empty when it cannot be read.
// Needs a QCoreApplication.
QString ProgramVersion();

// The same text for a given executable and version; an empty version or an
// unreadable file fails as above.
QString VersionTextFor(const QString& ExecutablePath, const QString& Version);
