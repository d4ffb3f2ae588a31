#pragma once
// The handbox baud-rate table: the ten rates the baud test tries, in order,
// and the index the ":SB" + index + "#" baud-change command uses for each.
// Both the program and the simulated handbox read this one table.

#include <array>
#include <optional>

inline constexpr std::array<int, 10> TestBauds = {115200, 57600, 38400, 28800, 19200,
                                                  14400,  9600,  4800,  2400,  1200};

// The ":SB" index of Rate, or nothing when Rate is not in the table.
constexpr std::optional<int> TestBaudIndex(int Rate) {
    for (int i = 0; i < static_cast<int>(TestBauds.size()); ++i)
        if (TestBauds[i] == Rate)
            return i;
    return std::nullopt;
}
