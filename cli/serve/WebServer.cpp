#include "cli/serve/WebServer.h"

#include "cli/serve/PageFiles.h"

namespace {

using Json = nlohmann::json;
using namespace std::chrono_literals;

// Each page that watches holds one thread for its live updates.
constexpr size_t kThreads = 64;
constexpr size_t kLargestBody = 64 * 1024;
// How often a watching page hears from the server when nothing happens, which also finds the
// pages that have gone.
constexpr auto kKeepAlive = 1s;

const char* const kTokenHeader = "X-Guide-Link-Token";
const char* const kPageHeader = "X-Guide-Link-Page";

std::string dump(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

void refuse(httplib::Response& response, const web::Refusal& refusal)
{
    response.status = refusal.status;
    response.set_content(dump({{"error", refusal.message}}), "application/json");
}

}  // namespace

WebServer::WebServer(std::string token, std::vector<std::string> extraPorts)
    : token(std::move(token)), extraPorts(std::move(extraPorts)), tester(hub)
{
    server.new_task_queue = [] { return new httplib::ThreadPool(kThreads); };
    // The library's default would let a second guide-link serve share the port, each answering
    // some of the requests; only a quick restart after the last one ended may reuse it.
    server.set_socket_options([](socket_t socket) {
        int yes = 1;
        setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    server.set_payload_max_length(kLargestBody);
    // An idle connection holds a thread, which stopping waits for.
    server.set_keep_alive_timeout(1);
    // The address carries the token: it must not travel on to other sites as a referrer.
    server.set_default_headers({{"Referrer-Policy", "no-referrer"},
                                {"Content-Security-Policy", "default-src 'self'; frame-ancestors 'none'"},
                                {"X-Content-Type-Options", "nosniff"},
                                {"Cache-Control", "no-store"}});
    route();
}

WebServer::~WebServer() { stop(); }

int WebServer::bind(const web::ListenAddress& address)
{
    if (address.port == 0) return server.bind_to_any_port(address.host);
    return server.bind_to_port(address.host, address.port) ? address.port : -1;
}

void WebServer::start()
{
    serving = std::thread([this] { server.listen_after_bind(); });
}

void WebServer::stop()
{
    // The mount first: a pulse under way is stopped before the pages are let go.
    tester.stop();
    hub.close();
    server.stop();
    if (serving.joinable()) serving.join();
}

httplib::Server::HandlerResponse WebServer::checkAccess(const httplib::Request& request, httplib::Response& response)
{
    using Handled = httplib::Server::HandlerResponse;
    if (request.path.rfind("/api/", 0) != 0) return Handled::Unhandled;
    if (!web::sameOrigin(request.get_header_value("Origin"), request.get_header_value("Host"))) {
        refuse(response, {403, "Requests from other sites are refused: open the page guide-link serve printed."});
        return Handled::Handled;
    }
    std::string given = request.get_header_value(kTokenHeader);
    if (given.empty()) given = request.get_param_value("token");
    if (given.empty()) {
        refuse(response, {401, "This needs the access token: open the address guide-link serve printed when it "
                               "started, with its ?token=..."});
        return Handled::Handled;
    }
    if (!web::tokenMatches(given, token)) {
        refuse(response, {403, "The access token is wrong: guide-link serve makes a new one each time it starts; "
                               "open the address it printed last."});
        return Handled::Handled;
    }
    return Handled::Unhandled;
}

void WebServer::route()
{
    server.set_pre_routing_handler(
        [this](const httplib::Request& request, httplib::Response& response) { return checkAccess(request, response); });

    for (int i = 0; i < kPageFileCount; ++i) {
        const PageFile& file = kPageFiles[i];
        const auto serveFile = [&file](const httplib::Request&, httplib::Response& response) {
            response.set_content(reinterpret_cast<const char*>(file.bytes), file.size, file.contentType);
        };
        server.Get(file.path, serveFile);
        if (std::string(file.path) == "/index.html") server.Get("/", serveFile);
    }

    server.Get("/api/state", [this](const httplib::Request&, httplib::Response& response) {
        Json state = tester.state();
        state["controller"] = seat.holder();
        response.set_content(dump(state), "application/json");
    });
    server.Get("/api/ports", [this](const httplib::Request&, httplib::Response& response) {
        Json ports = Json::array();
        for (const devices::Entry& entry : devices::list(extraPorts)) {
            ports.push_back({{"device", entry.device}, {"stable_name", entry.stableName},
                             {"description", entry.description}, {"present", entry.present},
                             {"accessible", entry.accessible}});
        }
        response.set_content(dump(ports), "application/json");
    });
    server.Get("/api/events", [this](const httplib::Request&, httplib::Response& response) { watch(response); });

    server.Post("/api/control", [this](const httplib::Request& request, httplib::Response& response) {
        takeControl(request, response);
    });
    server.Post("/api/connect", [this](const httplib::Request& request, httplib::Response& response) {
        act(request, response, [this](const Json& body) -> web::MaybeRefusal {
            devices::PortChoice port;
            if (web::MaybeRefusal refusal = web::readPort(body, WebTester::kPortNumber, port)) return refusal;
            return tester.connect(port);
        });
    });
    server.Post("/api/disconnect", [this](const httplib::Request& request, httplib::Response& response) {
        act(request, response, [this](const Json&) { return tester.disconnect(); });
    });
    server.Post("/api/pulse", [this](const httplib::Request& request, httplib::Response& response) {
        act(request, response, [this](const Json& body) -> web::MaybeRefusal {
            Direction direction = Direction::North;
            PulseLength length{0, false};
            if (web::MaybeRefusal refusal = web::readDirection(body, direction)) return refusal;
            if (web::MaybeRefusal refusal = web::readPulseLength(body, length)) return refusal;
            return tester.pulse(direction, length);
        });
    });
    server.Post("/api/motion", [this](const httplib::Request& request, httplib::Response& response) {
        act(request, response, [this](const Json& body) -> web::MaybeRefusal {
            devices::PortChoice port;
            Tester::MotionPlan plan;
            if (web::MaybeRefusal refusal = web::readPort(body, WebTester::kPortNumber, port)) return refusal;
            if (web::MaybeRefusal refusal = web::readMotionPlan(body, plan)) return refusal;
            return tester.startMotion(port, plan);
        });
    });

    server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty() && response.status == 404) refuse(response, {404, "There is no such page here."});
    });
}

void WebServer::watch(httplib::Response& response)
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

    response.set_chunked_content_provider(
        "text/event-stream",
        [this, watcher](size_t, httplib::DataSink& sink) {
            const std::optional<std::string> frames = hub.take(watcher, kKeepAlive);
            if (!frames) return false;
            const std::string text = frames->empty() ? std::string(": still here\n\n") : *frames;
            return sink.write(text.data(), text.size());
        },
        [this, watcher](bool) {
            hub.unsubscribe(watcher);
            // A pulse under way is the link's to end; without a controller no new one starts.
            if (seat.leave(watcher)) publishControl(watcher);
        });
}

void WebServer::act(const httplib::Request& request, httplib::Response& response, const Action& action)
{
    if (!seat.heldBy(request.get_header_value(kPageHeader))) {
        return refuse(response, {409, "Another page has control: press \"Take control\" to drive the mount from here."});
    }
    const Json body = Json::parse(request.body.empty() ? "{}" : request.body, nullptr, false);
    if (!body.is_object()) return refuse(response, {400, "The request's body must be a JSON object."});
    if (const web::MaybeRefusal refusal = action(body)) return refuse(response, *refusal);
    response.set_content(dump({{"ok", true}}), "application/json");
}

void WebServer::takeControl(const httplib::Request& request, httplib::Response& response)
{
    int previous = 0;
    if (!seat.take(request.get_header_value(kPageHeader), previous)) {
        return refuse(response, {400, "This page is not watching: reload it, then take control."});
    }
    publishControl(previous);
    response.set_content(dump({{"ok", true}}), "application/json");
}

void WebServer::publishControl(int previous)
{
    hub.publish("control", dump({{"controller", seat.holder()}, {"previous", previous}}));
}
