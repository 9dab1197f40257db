#pragma once

#include <string>
#include <vector>

// What to do about a pulse that failed, in the words the checks' results end with.
namespace advice {

// A command could not be written: the line failed.
std::vector<std::string> lineFailed();
// A pulse lasted outside its bound.
std::vector<std::string> outOfBound();
// Pulses the mount timed itself, whose length the line cannot show.
std::vector<std::string> mountTimed();

}  // namespace advice
