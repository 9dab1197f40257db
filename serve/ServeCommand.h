#pragma once

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "serve/RequestChecks.h"

// guide-link serve: the dialog's test and the motion check on a web page, for the computer at
// the mount, reached from a laptop, tablet or phone.
namespace web {

struct ServeOptions {
    std::string listen = "127.0.0.1:" + std::to_string(kDefaultPort);
    std::vector<std::string> extraPorts;
};

// Adds serve to guide-link's commands. Once the arguments are read it serves until Ctrl-C or
// SIGTERM, then ends the program with serve's exit code.
void addServeCommand(CLI::App& app);

// Serves until interrupted; the exit code.
int serve(const ServeOptions& options);

}  // namespace web
