#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "serve/ControlSeat.h"
#include "serve/EventHub.h"
#include "serve/HttpListener.h"
#include "serve/RequestChecks.h"
#include "serve/WebTester.h"

// The site of guide-link serve: the page's files, and the API under /api/ that needs the access
// token and a same-origin page. Requests that change anything come from the page that has
// control, and anything wrong in one is refused with 4xx and a sentence before it is acted on.
class WebServer : private HttpSite {
public:
    // extraPorts: devices to list beside those found, as `guide-link ports --extra-port` takes.
    WebServer(std::string token, std::vector<std::string> extraPorts);
    ~WebServer() override;
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    // Serves on threads of its own; the port it listens on (any free one for port 0), or -1 if
    // it cannot.
    int start(const web::ListenAddress& address);
    // Stops the mount first, then ends every page's live updates and stops serving.
    void stop();

private:
    using Action = std::function<web::MaybeRefusal(const nlohmann::json& body)>;
    struct Route {
        const char* method;
        const char* path;
        std::function<HttpReply(const HttpRequest&)> answer;
    };

    std::optional<HttpReply> screen(const HttpRequest& request) override;
    HttpReply answer(const HttpRequest& request) override;
    std::optional<HttpReply> checkAccess(const HttpRequest& request) const;
    void route();
    HttpReply watch();
    // Checks that the page has control, reads the body and does the action.
    HttpReply act(const HttpRequest& request, const Action& action);
    HttpReply takeControl(const HttpRequest& request);
    void publishControl(int previous);

    const std::string token;
    const std::vector<std::string> extraPorts;
    bool loopbackOnly = true;
    std::vector<Route> routes;
    EventHub hub;
    ControlSeat seat;
    WebTester tester;
    HttpListener listener;
};
