#pragma once
// The command line of hexvac-sim: which handbox to simulate, on which port,
// and which faults to put on its line.

#include "sim/Engine.h"
#include "sim/PtyHost.h"

#include <cstdint>
#include <string>
#include <vector>

struct SimOptions {
    HandboxSettings Handbox;
    LineOptions Line;
    std::uint64_t Seed = 1;
    std::string Image;     // load memory from this file instead of the seed
    std::string SaveImage; // write the memory as served at start to this file
    std::string Trace;     // write what the handbox hears and answers to this file
    bool Help = false;
    bool Version = false;
};

// Parses the arguments after the program name: "--opt value", "--opt=value"
// and a single dash alike. False, with Error naming the offending option, on
// anything unknown, missing or out of range.
bool ParseSimOptions(const std::vector<std::string>& Args, SimOptions& Options, std::string& Error);

// The --help text.
std::string SimUsage();
