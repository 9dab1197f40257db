#pragma once

#include <string>

#include "indi/IndiProperty.h"

namespace indi {

// One top-level element of the server's stream, as the parser read it.
struct IndiUpdate {
    enum class Kind {
        Define,   // def*Vector: the whole property
        Set,      // set*Vector: new values of some elements, maybe a new state
        Delete,   // delProperty: one property, or the whole device when the name is empty
        Message,  // message: a line of text from a device or the server
        Ignored,  // well-formed, but nothing the model takes: note says what and why
    };

    Kind kind = Kind::Ignored;
    // For Define and Set the device, name, type and elements; state only where hasState.
    IndiProperty property;
    bool hasState = false;
    std::string message;    // the message attribute, or the text of a message element
    std::string timestamp;  // as the server wrote it
    std::string note;       // for Ignored

    // A short line for a transcript, e.g. "set TELESCOPE_TIMED_GUIDE_NS Busy TIMED_GUIDE_N=2000".
    // Texts from the server are cut short and control characters replaced, so the line is safe
    // to print on a terminal.
    std::string summary() const;
};

}  // namespace indi
