#pragma once

// The code of a correction; it travels as one byte in a command frame.
enum class Direction : int {
    North = 0,
    South = 1,
    West = 2,
    East = 3,
};
