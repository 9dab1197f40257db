#include "serve/WebServer.h"

#include <chrono>
#include <cstring>

#include "serve/PageFiles.h"

namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

// How often a watching page hears from the server when nothing happens: the ping keeps the
// connection inside the listener's idle limit and lets it find a page that has gone.
constexpr auto kPing = 5s;

const char* const kTokenHeader = "X-Guide-Link-Token";
const char* const kPageHeader = "X-Guide-Link-Page";

std::string dump(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

HttpReply json(const Json& value) { return {200, "application/json", dump(value), {}, {}}; }

HttpReply refuse(const web::Refusal& refusal)
{
    return {refusal.status, "application/json", dump({{"error", refusal.message}}), {}, {}};
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

const PageFile* pageFile(const std::string& path)
{
    const std::string name = path == "/" ? "/index.html" : path;
    for (int i = 0; i < kPageFileCount; ++i) {
        if (name == kPageFiles[i].path) return &kPageFiles[i];
    }
    return nullptr;
}

}  // namespace

WebServer::WebServer(std::string token, std::vector<std::string> extraPorts)
    : token(std::move(token)), extraPorts(std::move(extraPorts)), tester(hub),
      // The token comes in the address at first: it must not travel on to other sites as a referrer.
      listener(*this, {{"Referrer-Policy", "no-referrer"},
                       {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
                       {"X-Content-Type-Options", "nosniff"},
                       {"Cache-Control", "no-store"}})
{
    route();
}

WebServer::~WebServer() { stop(); }

int WebServer::start(const web::ListenAddress& address)
{
    loopbackOnly = !web::reachableFromNetwork(address.host);
    return listener.start(address.host, address.port);
}

void WebServer::stop()
{
    // The mount first: a pulse under way is stopped before the pages are let go.
    tester.stop();
    hub.close();
    listener.stop();
}

std::optional<HttpReply> WebServer::screen(const HttpRequest& request)
{
    // A page reached through a name that someone else's DNS points here (rebinding) is not
    // this machine's page, token or not.
    if (loopbackOnly && !web::loopbackHost(request.header("Host"))) {
        return refuse({403, "This server is for this machine only: open it as 127.0.0.1, localhost or [::1]."});
    }
    if (!startsWith(request.path, "/api/")) {
        if (request.method != "GET" && request.method != "HEAD") {
            return refuse({405, "Only GET and HEAD are served here."});
        }
        if (!pageFile(request.path)) return refuse({404, "There is no such page here."});
        return std::nullopt;
    }
    if (std::optional<HttpReply> refused = checkAccess(request)) return refused;
    for (const Route& route : routes) {
        if (request.path != route.path) continue;
        if (request.method != route.method) return refuse({405, std::string("This takes only ") + route.method + "."});
        return std::nullopt;
    }
    return refuse({404, "There is no such page here."});
}

HttpReply WebServer::answer(const HttpRequest& request)
{
    for (const Route& route : routes) {
        if (request.path == route.path) return route.answer(request);
    }
    const PageFile& file = *pageFile(request.path);
    return {200, file.contentType, std::string(reinterpret_cast<const char*>(file.bytes), file.size), {}, {}};
}

std::optional<HttpReply> WebServer::checkAccess(const HttpRequest& request) const
{
    if (!web::sameOrigin(request.header("Origin"), request.header("Host"))) {
        return refuse({403, "Requests from other sites are refused: open the page guide-link serve printed."});
    }
    std::string given = request.header(kTokenHeader);
    // The page's event stream cannot send headers, so it carries the token in its address.
    if (given.empty()) given = request.query("token");
    if (given.empty()) {
        return refuse({401, "This needs the access token: open the address guide-link serve printed when it "
                            "started, with its ?token=..."});
    }
    if (!web::tokenMatches(given, token)) {
        return refuse({403, "The access token is wrong: guide-link serve makes a new one each time it starts; "
                            "open the address it printed last."});
    }
    return std::nullopt;
}

void WebServer::route()
{
    routes = {
        {"GET", "/api/state", [this](const HttpRequest&) {
             Json state = tester.state();
             state["controller"] = seat.holder();
             return json(state);
         }},
        {"GET", "/api/ports", [this](const HttpRequest&) {
             Json ports = Json::array();
             for (const devices::Entry& entry : devices::list(extraPorts)) {
                 ports.push_back({{"device", entry.device}, {"stable_name", entry.stableName},
                                  {"description", entry.description}, {"present", entry.present},
                                  {"accessible", entry.accessible}});
             }
             return json(ports);
         }},
        {"GET", "/api/events", [this](const HttpRequest&) { return watch(); }},
        {"POST", "/api/control", [this](const HttpRequest& request) { return takeControl(request); }},
        {"POST", "/api/connect", [this](const HttpRequest& request) {
             return act(request, [this](const Json& body) -> web::MaybeRefusal {
                 devices::PortChoice port;
                 if (web::MaybeRefusal refusal = web::readPort(body, WebTester::kPortNumber, port)) return refusal;
                 return tester.connect(port);
             });
         }},
        {"POST", "/api/disconnect", [this](const HttpRequest& request) {
             return act(request, [this](const Json&) { return tester.disconnect(); });
         }},
        {"POST", "/api/pulse", [this](const HttpRequest& request) {
             return act(request, [this](const Json& body) -> web::MaybeRefusal {
                 Direction direction = Direction::North;
                 PulseLength length{0, false};
                 if (web::MaybeRefusal refusal = web::readDirection(body, direction)) return refusal;
                 if (web::MaybeRefusal refusal = web::readPulseLength(body, length)) return refusal;
                 return tester.pulse(direction, length);
             });
         }},
        {"POST", "/api/motion", [this](const HttpRequest& request) {
             return act(request, [this](const Json& body) -> web::MaybeRefusal {
                 devices::PortChoice port;
                 motion::Plan plan;
                 if (web::MaybeRefusal refusal = web::readPort(body, WebTester::kPortNumber, port, true)) {
                     return refusal;
                 }
                 if (web::MaybeRefusal refusal = web::readMotionPlan(body, plan)) return refusal;
                 return tester.startMotion(port, plan);
             });
         }},
        {"POST", "/api/motion/stop", [this](const HttpRequest& request) {
             return act(request, [this](const Json&) { return tester.stopMotion(); });
         }},
    };
}

HttpReply WebServer::watch()
{
    const EventHub::Watcher watcher = hub.subscribe();
    const ControlSeat::Page page = seat.join(watcher);
    int previous = 0;
    // The first page to come takes control; the others watch until their user asks for it.
    if (seat.holder() == 0 && seat.take(page.key, previous)) publishControl(previous);
    Json hello = tester.state();
    hello["page"] = page.number;
    hello["key"] = page.key;
    hello["controller"] = seat.holder();
    hub.sendTo(watcher, "hello", dump(hello));

    HttpReply reply{200, "text/event-stream", {}, {}, {}};
    reply.next = [this, watcher]() -> std::optional<std::string> {
        const std::optional<std::string> frames = hub.take(watcher, kPing);
        if (frames && frames->empty()) return std::string(": still here\n\n");
        return frames;
    };
    reply.ended = [this, watcher] {
        hub.unsubscribe(watcher);
        // A pulse under way is the link's to end; without a controller no new one starts.
        if (seat.leave(watcher)) publishControl(watcher);
    };
    return reply;
}

HttpReply WebServer::act(const HttpRequest& request, const Action& action)
{
    if (!seat.heldBy(request.header(kPageHeader))) {
        return refuse({409, "Another page has control: press \"Take control\" to drive the mount from here."});
    }
    const Json body = Json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
    if (!body.is_object()) return refuse({400, "The request's body must be a JSON object."});
    if (const web::MaybeRefusal refusal = action(body)) return refuse(*refusal);
    return json({{"ok", true}});
}

HttpReply WebServer::takeControl(const HttpRequest& request)
{
    int previous = 0;
    if (!seat.take(request.header(kPageHeader), previous)) {
        return refuse({400, "This page is not watching: reload it, then take control."});
    }
    publishControl(previous);
    return json({{"ok", true}});
}

void WebServer::publishControl(int previous)
{
    hub.publish("control", dump({{"controller", seat.holder()}, {"previous", previous}}));
}
