#pragma once
// The version an executable declares, as the About box, --version and the
// head of every log show it.
//
// Plain C++ on the standard library and the system API. On Windows it is
// read from the executable's version resource (ExeVersionWindows.cpp);
// elsewhere, where executables carry no such resource, it is the version
// compiled into the program (ExeVersionBuilt.cpp).

#include <string>

// The "FileVersion" text of the version resource of the executable at Path
// (UTF-8), or when that text is empty the four numbers of its fixed file
// version as "a.b.c.d". Empty when the version cannot be read.
std::string ExecutableVersion(const std::string& Path);
