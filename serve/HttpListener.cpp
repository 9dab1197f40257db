#include "serve/HttpListener.h"

#include <microhttpd.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <memory>

namespace {

// A phone opens a handful of connections per page; a few pages share an address behind NAT.
constexpr unsigned kConnections = 64;
constexpr unsigned kConnectionsPerAddress = 16;
// Each connection's buffers, which the request line and headers must fit in with room to spare
// for the reply's headers: a longer request is refused before more of it is read.
constexpr size_t kMemoryPerConnection = 12 * 1024;
// A connection that neither sends nor takes anything for this long is closed; event streams
// send a ping well within it.
constexpr unsigned kIdleSeconds = 15;
// What was sent and not acknowledged for this long means the client has gone (a phone asleep,
// out of range): the kernel gives the connection up rather than retrying for many minutes.
constexpr unsigned kUnacknowledgedMs = 20000;
// The handlers are shallow; a small stack keeps 64 threads cheap on a 32-bit Pi.
constexpr size_t kThreadStack = 512 * 1024;

std::string lookUp(MHD_Connection* connection, MHD_ValueKind kind, const char* name)
{
    const char* value = MHD_lookup_connection_value(connection, kind, name);
    return value ? value : "";
}

// A body longer than the listener takes, by the length the request announces.
bool announcesTooLong(MHD_Connection* connection)
{
    const std::string length = lookUp(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH);
    if (length.empty()) return false;
    const bool digits = std::all_of(length.begin(), length.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); });
    return !digits || length.size() > 9 || std::stoul(length) > HttpListener::kLargestBody;
}

struct EventStream {
    std::function<std::optional<std::string>()> next;
    std::function<void()> ended;
    std::string unsent;
};

}  // namespace

struct HttpListener::Callbacks {
    // Called first once the headers are in, then once for each piece of the body, then once with
    // nothing more to come.
    static MHD_Result onRequest(void* self, MHD_Connection* connection, const char* url, const char* method,
                                const char*, const char* uploaded, size_t* uploadedSize, void** exchange)
    {
        const HttpListener& listener = *static_cast<HttpListener*>(self);
        if (*exchange == nullptr) {
            auto request = std::make_unique<HttpRequest>(connection, method, url);
            std::optional<HttpReply> refused = listener.site.screen(*request);
            if (!refused && announcesTooLong(connection)) {
                refused = HttpReply{413, "text/plain", "The request's body is too long.\n", {}, {}};
            }
            *exchange = request.release();
            if (refused) return listener.send(connection, std::move(*refused)) ? MHD_YES : MHD_NO;
            return MHD_YES;
        }
        HttpRequest& request = *static_cast<HttpRequest*>(*exchange);
        if (*uploadedSize > 0) {
            // Only a body of unannounced length gets here too long: cut it off where it is.
            if (request.body.size() + *uploadedSize > kLargestBody) return MHD_NO;
            request.body.append(uploaded, *uploadedSize);
            *uploadedSize = 0;
            return MHD_YES;
        }
        return listener.send(connection, listener.site.answer(request)) ? MHD_YES : MHD_NO;
    }

    static void onCompleted(void*, MHD_Connection*, void** exchange, MHD_RequestTerminationCode)
    {
        delete static_cast<HttpRequest*>(*exchange);
        *exchange = nullptr;
    }

    static void onConnection(void*, MHD_Connection* connection, void**, MHD_ConnectionNotificationCode code)
    {
        if (code != MHD_CONNECTION_NOTIFY_STARTED) return;
        const MHD_ConnectionInfo* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
        if (info == nullptr) return;
        const unsigned limit = kUnacknowledgedMs;
        setsockopt(info->connect_fd, IPPROTO_TCP, TCP_USER_TIMEOUT, &limit, sizeof limit);
    }

    static ssize_t readStream(void* stream, uint64_t, char* buffer, size_t room)
    {
        EventStream& events = *static_cast<EventStream*>(stream);
        while (events.unsent.empty()) {
            std::optional<std::string> more = events.next();
            if (!more) return MHD_CONTENT_READER_END_OF_STREAM;
            events.unsent = std::move(*more);
        }
        const size_t size = std::min(room, events.unsent.size());
        std::memcpy(buffer, events.unsent.data(), size);
        events.unsent.erase(0, size);
        return static_cast<ssize_t>(size);
    }

    static void endStream(void* stream)
    {
        std::unique_ptr<EventStream> events(static_cast<EventStream*>(stream));
        if (events->ended) events->ended();
    }
};

HttpRequest::HttpRequest(MHD_Connection* connection, std::string method, std::string path)
    : method(std::move(method)), path(std::move(path)), connection(connection)
{
}

std::string HttpRequest::header(const char* name) const { return lookUp(connection, MHD_HEADER_KIND, name); }

std::string HttpRequest::query(const char* name) const { return lookUp(connection, MHD_GET_ARGUMENT_KIND, name); }

HttpListener::HttpListener(HttpSite& site, std::vector<Header> everyReply)
    : site(site), everyReply(std::move(everyReply))
{
}

HttpListener::~HttpListener() { stop(); }

int HttpListener::start(const std::string& host, int port)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) return -1;
    const std::unique_ptr<addrinfo, decltype(&freeaddrinfo)> address(found, &freeaddrinfo);

    // A thread for each connection lets an event stream wait for its next event; the limits
    // bound how many threads there are.
    unsigned flags = MHD_USE_THREAD_PER_CONNECTION | MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_AUTO | MHD_USE_ITC;
    if (address->ai_family == AF_INET6) flags |= MHD_USE_IPv6;
    daemon = MHD_start_daemon(
        flags, 0, nullptr, nullptr, &Callbacks::onRequest, this,
        MHD_OPTION_SOCK_ADDR, address->ai_addr,
        MHD_OPTION_CONNECTION_LIMIT, kConnections,
        MHD_OPTION_PER_IP_CONNECTION_LIMIT, kConnectionsPerAddress,
        MHD_OPTION_CONNECTION_MEMORY_LIMIT, kMemoryPerConnection,
        MHD_OPTION_CONNECTION_TIMEOUT, kIdleSeconds,
        MHD_OPTION_THREAD_STACK_SIZE, kThreadStack,
        MHD_OPTION_NOTIFY_COMPLETED, &Callbacks::onCompleted, nullptr,
        MHD_OPTION_NOTIFY_CONNECTION, &Callbacks::onConnection, nullptr,
        MHD_OPTION_END);
    if (daemon == nullptr) return -1;
    const MHD_DaemonInfo* bound = MHD_get_daemon_info(daemon, MHD_DAEMON_INFO_BIND_PORT);
    return bound ? bound->port : -1;
}

void HttpListener::stop()
{
    if (daemon == nullptr) return;
    MHD_stop_daemon(daemon);
    daemon = nullptr;
}

bool HttpListener::send(MHD_Connection* connection, HttpReply reply) const
{
    MHD_Response* response = nullptr;
    if (reply.next) {
        auto* events = new EventStream{std::move(reply.next), std::move(reply.ended), {}};
        response = MHD_create_response_from_callback(MHD_SIZE_UNKNOWN, 4096, &Callbacks::readStream, events,
                                                     &Callbacks::endStream);
        if (response == nullptr) Callbacks::endStream(events);
    } else {
        response = MHD_create_response_from_buffer(reply.body.size(), reply.body.data(), MHD_RESPMEM_MUST_COPY);
    }
    if (response == nullptr) return false;
    for (const Header& header : everyReply) MHD_add_response_header(response, header.first.c_str(), header.second.c_str());
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, reply.contentType.c_str());
    const MHD_Result queued = MHD_queue_response(connection, static_cast<unsigned>(reply.status), response);
    MHD_destroy_response(response);
    return queued == MHD_YES;
}
