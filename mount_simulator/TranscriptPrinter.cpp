#include "mount_simulator/TranscriptPrinter.h"

#include "mount_simulator/Lx200Mount.h"

namespace {

// Noise and odd replies can hold any byte; those that would garble a terminal show as \xNN.
std::string printable(const std::string& text)
{
    std::string shown;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
            shown += c;
        } else {
            char escaped[5];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", byte);
            shown += escaped;
        }
    }
    return shown;
}

}  // namespace

void TranscriptPrinter::commandReceived(const ReceivedCommand& command)
{
    // Shown, not dropped: a command the mount leaves alone is what a test of it needs to see.
    const char* note = Lx200Mount::understands(command.text) ? "" : "  (not understood)";
    printLine(command.milliseconds, printable(command.text) + note);
}

void TranscriptPrinter::strayBytes(double milliseconds, const std::string& bytes)
{
    printLine(milliseconds, "stray bytes " + printable(bytes));
}

void TranscriptPrinter::answerSent(double milliseconds, const std::string& answer)
{
    printLine(milliseconds, "-> " + printable(answer));
}

void TranscriptPrinter::positionChanged(double milliseconds, const std::string& position)
{
    printLine(milliseconds, "position " + position);
}

void TranscriptPrinter::printLine(double milliseconds, const std::string& text)
{
    std::lock_guard<std::mutex> hold(printing_);
    std::fprintf(out_, "%9.3f  %s\n", milliseconds / 1000.0, text.c_str());
    std::fflush(out_);
}
