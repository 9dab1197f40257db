#include "serve/ServeCommand.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "platform/interrupt.h"
#include "platform/serial_devices.h"
#include "tester/Tester.h"
#include "serve/RequestChecks.h"
#include "serve/WebServer.h"

namespace web {
namespace {

std::string thisMachine()
{
    char name[256] = {};
    return ::gethostname(name, sizeof name - 1) == 0 && name[0] ? name : "THIS-MACHINE";
}

}  // namespace

void addServeCommand(CLI::App& app)
{
    auto options = std::make_shared<ServeOptions>();
    CLI::App* command = app.add_subcommand(
        "serve", "show the dialog's test and the motion check on a web page, for a phone, tablet or laptop; runs "
                 "until Ctrl-C");
    command->add_option("--listen", options->listen,
                        "ADDRESS:PORT to serve on; only this machine can reach the default, 0.0.0.0:PORT opens it "
                        "to the network")
        ->capture_default_str();
    command->add_option("--extra-port", options->extraPorts,
                        std::string("offer this device too (repeatable); ") + devices::kExtraPortsVariable +
                            " names more");
    command->footer("Open the address it prints: it carries an access token, new at each start, without which "
                    "the page shows nothing of the mount and can change nothing. One page controls at a time; "
                    "others watch live and may take control. A pulse under way when a page goes away ends on "
                    "time, as the link ends every pulse.");
    command->callback([options] {
        interrupt::install();
        std::exit(serve(*options));
    });
}

int serve(const ServeOptions& options)
{
    ListenAddress address;
    std::string error;
    if (!readListenAddress(options.listen, address, error)) {
        std::fprintf(stderr, "guide-link: %s\n", error.c_str());
        return kExitCannotStart;
    }
    // A page that goes away mid-write must not end the server.
    std::signal(SIGPIPE, SIG_IGN);

    const std::string token = makeToken();
    WebServer server(token, options.extraPorts);
    const int port = server.start(address);
    if (port < 0) {
        std::fprintf(stderr, "guide-link: cannot serve on %s: the port may be in use (try another with --listen "
                             "127.0.0.1:%d), or the address is not one of this machine's\n",
                     options.listen.c_str(), kDefaultPort + 1);
        return kExitCannotStart;
    }
    const bool network = reachableFromNetwork(address.host);
    if (network) {
        std::fprintf(stderr, "WARNING: serving on %s: every machine that can reach this one can open the page. Only "
                             "the token keeps them from the mount, and HTTP is not encrypted: use this only on a "
                             "network you trust.\n",
                     options.listen.c_str());
    }
    const bool anyAddress = address.host == "0.0.0.0" || address.host == "::";
    const std::string shown = anyAddress ? thisMachine() : (address.host.find(':') != std::string::npos
                                                                   ? "[" + address.host + "]" : address.host);
    std::printf("guide-link serve: open this address in a browser%s:\n\n  http://%s:%d/?token=%s\n\n"
                "Press Ctrl-C to stop.\n",
                anyAddress ? " (or this machine's address on your network in its place)" : "", shown.c_str(),
                port, token.c_str());
    std::fflush(stdout);

    while (!interrupt::requested()) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::printf("Stopping: any pulse under way is ended and the port closed.\n");
    std::fflush(stdout);
    server.stop();
    return kExitPass;
}

}  // namespace web
