#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct MHD_Connection;
struct MHD_Daemon;

// One request as the listener hands it on: its headers, and its body once that is read.
class HttpRequest {
public:
    HttpRequest(MHD_Connection* connection, std::string method, std::string path);

    const std::string method;
    const std::string path;
    std::string body;

    // "" when the request has no such header or query parameter.
    std::string header(const char* name) const;
    std::string query(const char* name) const;

private:
    MHD_Connection* connection;
};

struct HttpReply {
    int status = 200;
    std::string contentType;
    std::string body;
    // An event stream instead of a body: next waits for what to send next ("" for nothing yet)
    // and ends the stream with nullopt; ended runs once, when the client has gone.
    std::function<std::optional<std::string>()> next;
    std::function<void()> ended;
};

// What a site answers. Both are called on the listener's thread for the connection, and may
// block only as long as a client may wait.
class HttpSite {
public:
    virtual ~HttpSite() = default;
    // The headers are in and none of the body is read: a reply here ends the request unread.
    virtual std::optional<HttpReply> screen(const HttpRequest& request) = 0;
    // The whole body is in.
    virtual HttpReply answer(const HttpRequest& request) = 0;
};

// The HTTP server of guide-link serve (libmicrohttpd), which bounds all that a client can make it
// spend before it reads: the request line and headers, the body, connections in all and from
// one address, and the time a connection may idle or leave what was sent unacknowledged.
class HttpListener {
public:
    // A body longer than this is refused, or the connection cut if its length was not given.
    static constexpr size_t kLargestBody = 64 * 1024;

    using Header = std::pair<std::string, std::string>;
    // everyReply: headers every reply carries.
    HttpListener(HttpSite& site, std::vector<Header> everyReply);
    ~HttpListener();
    HttpListener(const HttpListener&) = delete;
    HttpListener& operator=(const HttpListener&) = delete;

    // Serves on threads of its own, on host and port (0: any free one); the port, or -1 if the
    // address is in use or not this machine's.
    int start(const std::string& host, int port);
    // Closes every connection and waits for their threads; event streams must end first.
    void stop();

private:
    struct Callbacks;  // libmicrohttpd's, in the source
    friend struct Callbacks;

    // Queues reply on connection; false if it cannot, which closes the connection.
    bool send(MHD_Connection* connection, HttpReply reply) const;

    HttpSite& site;
    const std::vector<Header> everyReply;
    MHD_Daemon* daemon = nullptr;
};
