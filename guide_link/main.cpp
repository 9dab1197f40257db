// guide-link: the guide-link tester for a terminal, a script or a web page. It runs the same
// link, heartbeat and status codes as the dialog; the words it reads pick the front end.
#include <CLI/CLI.hpp>

#include <string>

#include "cli/TerminalCommands.h"
#include "platform/interrupt.h"
#include "tester/ExitCode.h"
#ifdef GUIDE_LINK_SERVE
#include "serve/ServeCommand.h"
#endif

namespace {

const char* const kDescription = R"(Checks the serial link to a telescope mount that speaks the Meade LX200 command
set, as the guide-link tester's dialog does: the handshake (:GS#, :GR#, :GD#)
and guide pulses (:Mn# ... :Qn#), timed from the link itself, or pulses the
mount times itself (:Mgn1000#).)";

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{kDescription, "guide-link"};
    app.set_version_flag("--version", std::string("guide-link ") + GUIDE_LINK_TESTER_VERSION);
    app.require_subcommand(1);
    app.fallthrough();

    TerminalCommands terminal(app);
#ifdef GUIDE_LINK_SERVE
    // serve takes over once its arguments are read, and ends the program itself.
    web::addServeCommand(app);
#else
    app.footer(app.get_footer() + "\n\nserve, the tester on a web page, comes with the Linux builds only.");
#endif

    try {
        app.parse(argc, argv);
    } catch (const CLI::Success& e) {  // --help or --version
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        app.exit(e);
        return kExitCannotStart;
    }
    interrupt::install();
    return terminal.run();
}
