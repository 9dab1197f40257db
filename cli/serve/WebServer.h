#pragma once

#include <httplib.h>

#include <string>
#include <thread>
#include <vector>

#include "cli/serve/ControlSeat.h"
#include "cli/serve/EventHub.h"
#include "cli/serve/RequestChecks.h"
#include "cli/serve/WebTester.h"

// The HTTP side of guide-link serve: the page's files, and the API under /api/ that needs the
// access token and a same-origin page. Requests that change anything come from the page that
// has control, and anything wrong in one is refused with 4xx and a sentence before it is acted on.
class WebServer {
public:
    // extraPorts: devices to list beside those found, as `guide-link ports --extra-port` takes.
    WebServer(std::string token, std::vector<std::string> extraPorts);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // The port it listens on (any free one for port 0), or -1 if it cannot.
    int bind(const web::ListenAddress& address);
    // Serves on threads of its own until stop().
    void start();
    // Ends every page's live updates and stops serving; the link stops its pulse as it goes.
    void stop();

private:
    using Action = std::function<web::MaybeRefusal(const nlohmann::json& body)>;

    void route();
    httplib::Server::HandlerResponse checkAccess(const httplib::Request& request, httplib::Response& response);
    void watch(httplib::Response& response);
    // Reads the body, checks that the page has control, and does the action.
    void act(const httplib::Request& request, httplib::Response& response, const Action& action);
    void takeControl(const httplib::Request& request, httplib::Response& response);
    void publishControl(int previous);

    const std::string token;
    const std::vector<std::string> extraPorts;
    EventHub hub;
    ControlSeat seat;
    WebTester tester;
    httplib::Server server;
    std::thread serving;
};
