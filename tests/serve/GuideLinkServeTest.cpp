// guide-link serve, the real program, against clients that do not play fair: floods that would
// have the server read without end, a crowd of slow clients, and Ctrl-C in the middle of a
// pulse. The server must stay small, keep answering the page, and stop the mount on its way out.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "support/GuideLinkProcess.h"
#include "mount_simulator/MountSimulator.h"
#include "mount_simulator/TcpMountLine.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int kGenerousMs = 20000;
constexpr long kMostGrowthKb = 16 * 1024;
// Sent by each flood unless the server closes first: ten times what it may grow by.
constexpr size_t kFloodBytes = 160u << 20;

// A TCP connection to the server, from one of loopback's addresses.
class Client {
public:
    Client(int port, const char* from = "127.0.0.1") : socket_(::socket(AF_INET, SOCK_STREAM, 0))
    {
        // A server that stops reading must not hang the test: a write waits this long at most.
        const timeval patience{5, 0};
        setsockopt(socket_, SOL_SOCKET, SO_SNDTIMEO, &patience, sizeof patience);
        setsockopt(socket_, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        inet_pton(AF_INET, from, &address.sin_addr);
        ::bind(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        address.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, "127.0.0.1", &address.sin_addr);
        connected_ = ::connect(socket_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    }
    ~Client() { ::close(socket_); }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool connected() const { return connected_; }
    bool send(const std::string& bytes)
    {
        return ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }
    // Until the server closes or falls silent.
    std::string receiveAll()
    {
        std::string all;
        char buffer[4096];
        for (ssize_t got; (got = ::recv(socket_, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, got);
        return all;
    }
    // Until text has come after marker; everything received so far.
    std::string receiveUntil(const std::string& text, const std::string& marker)
    {
        std::string all;
        char buffer[4096];
        const auto arrived = [&] {
            const size_t at = all.find(marker);
            return at != std::string::npos && all.find(text, at) != std::string::npos;
        };
        for (ssize_t got; !arrived() && (got = ::recv(socket_, buffer, sizeof buffer, 0)) > 0;) all.append(buffer, got);
        return all;
    }

private:
    int socket_;
    bool connected_ = false;
};

long kilobytes(int pid, const char* field)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(line.find(':') + 1));
    }
    return -1;
}

struct Reply {
    int status = 0;
    std::string body;
};

// guide-link serve on a free loopback port, and the requests its page makes.
class Served {
public:
    Served() : program({"serve", "--listen", "127.0.0.1:0"})
    {
        const std::regex address(R"(http://127\.0\.0\.1:(\d+)/\?token=([0-9a-f]+))");
        std::smatch found;
        for (int waited = 0; waited < kGenerousMs; waited += 20) {
            const std::string out = program.out();
            if (std::regex_search(out, found, address)) {
                port = std::stoi(found[1]);
                token = found[2];
                return;
            }
            std::this_thread::sleep_for(20ms);
        }
    }

    Reply request(const std::string& method, const std::string& path, const std::string& body = "",
                  const std::string& pageKey = "")
    {
        Client client(port);
        client.send(method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n" +
                    "X-Guide-Link-Token: " + token + "\r\nX-Guide-Link-Page: " + pageKey +
                    "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(body.size()) +
                    "\r\n\r\n" + body);
        const std::string reply = client.receiveAll();
        const size_t bodyAt = reply.find("\r\n\r\n");
        if (reply.rfind("HTTP/1.1 ", 0) != 0 || bodyAt == std::string::npos) return {};
        return {std::stoi(reply.substr(9, 3)), reply.substr(bodyAt + 4)};
    }

    GuideLinkProcess program;
    int port = 0;
    std::string token;
};

// --- floods: each would grow a server that reads it all by as much as was sent ---

struct FloodCase {
    const char* what;
    std::function<std::string(const std::string& token)> head;
    std::function<std::string()> filler;  // sent again and again after the head
    int connections;
};
void PrintTo(const FloodCase& c, std::ostream* out) { *out << c.what; }

std::string rangesOfPageJs(const std::string&)
{
    std::string ranges = "bytes=0-";
    for (int i = 1; i < 400; ++i) ranges += "," + std::to_string(i) + "-";
    return "GET /page.js HTTP/1.1\r\nHost: 127.0.0.1\r\nRange: " + ranges + "\r\n\r\n";
}

const FloodCase kFloods[] = {
    {"POST without a length",
     [](const std::string&) { return std::string("POST / HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n"); },
     [] { return std::string(64 * 1024, 'x'); }, 1},
    {"chunked POST with the token",
     [](const std::string& token) {
         return "POST /api/pulse HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Guide-Link-Token: " + token +
                "\r\nTransfer-Encoding: chunked\r\n\r\n";
     },
     [] { return "10000\r\n" + std::string(0x10000, 'x') + "\r\n"; }, 1},
    {"an endless header line",
     [](const std::string&) { return std::string("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nX-Endless: "); },
     [] { return std::string(64 * 1024, 'a'); }, 1},
    // Slow readers: none of them reads a byte of the answers.
    {"400 ranges of page.js, again and again, from 40 clients", rangesOfPageJs, [] { return rangesOfPageJs(""); },
     40},
};

class ServeFlood : public ::testing::TestWithParam<FloodCase> {};

TEST_P(ServeFlood, GrowsTheServerByLessThan16MB)
{
    const FloodCase& c = GetParam();
    Served served;
    ASSERT_GT(served.port, 0) << served.program.out() << served.program.err();
    ASSERT_EQ(served.request("GET", "/api/state").status, 200);
    const long before = kilobytes(served.program.pid(), "VmRSS:");

    std::vector<std::unique_ptr<Client>> clients;
    for (int i = 0; i < c.connections; ++i) clients.push_back(std::make_unique<Client>(served.port));
    std::vector<std::thread> floods;
    for (auto& client : clients) {
        floods.emplace_back([&c, &client, &served] {
            const std::string filler = c.filler();
            if (!client->send(c.head(served.token))) return;
            const size_t share = kFloodBytes / static_cast<size_t>(c.connections);
            for (size_t sent = 0; sent < share && client->send(filler); sent += filler.size()) {
            }
        });
    }
    for (std::thread& flood : floods) flood.join();

    const long peak = kilobytes(served.program.pid(), "VmHWM:");
    EXPECT_LT(peak - before, kMostGrowthKb) << c.what << ": " << before << " kB before, " << peak << " kB at most";
    clients.clear();
    // The server lets the closed connections go as it notices them; until then they count
    // against this address's share.
    int status = 0;
    for (int waited = 0; waited < 5000 && (status = served.request("GET", "/api/state").status) != 200; waited += 100) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_EQ(status, 200) << "the server no longer answers";
}

INSTANTIATE_TEST_SUITE_P(Hostile, ServeFlood, ::testing::ValuesIn(kFloods));

// --- a crowd that holds connections open, sending a byte now and then ---

TEST(ServeCrowd, ThePageIsAnsweredWithinASecondWhile100SlowClientsHang)
{
    Served served;
    ASSERT_GT(served.port, 0) << served.program.out() << served.program.err();
    // From another loopback address than the page's, as from another machine.
    std::vector<std::unique_ptr<Client>> crowd;
    for (int i = 0; i < 100; ++i) {
        crowd.push_back(std::make_unique<Client>(served.port, "127.0.0.2"));
        crowd.back()->send("GET / HTTP/1.1\r\n");
    }
    for (int round = 0; round < 3; ++round) {
        for (auto& client : crowd) client->send("X");
        const Clock::time_point asked = Clock::now();
        EXPECT_EQ(served.request("GET", "/api/state").status, 200);
        EXPECT_LT(Clock::now() - asked, 1s);
        std::this_thread::sleep_for(1s);
    }
}

// --- the way out, and the way in ---

// The page's key, from the hello its event stream starts with.
std::string watchAndTakeKey(Client& events, Served& served)
{
    events.send("GET /api/events?token=" + served.token + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n");
    const std::string stream = events.receiveUntil("\n\n", "event: hello");
    const size_t data = stream.find("data: ", stream.find("event: hello"));
    if (data == std::string::npos) return "";
    const auto hello = nlohmann::json::parse(stream.substr(data + 6, stream.find('\n', data) - data - 6), nullptr, false);
    return hello.is_object() ? hello.value("key", "") : "";
}

bool received(const MountSimulator& mount, const std::string& text)
{
    for (const ReceivedCommand& command : mount.commands()) {
        if (command.text == text) return true;
    }
    return false;
}

bool waitFor(const std::function<bool()>& condition)
{
    for (int waited = 0; waited < kGenerousMs; waited += 20) {
        if (condition()) return true;
        std::this_thread::sleep_for(20ms);
    }
    return false;
}

TEST(ServeStops, NoMotionCheckDuringAConnectAndSigintEndsServeWithin3sHavingStoppedThePulse)
{
    std::string error;
    std::unique_ptr<TcpMountLine> line = TcpMountLine::listen("127.0.0.1", 0, error);
    ASSERT_TRUE(line) << error;
    const std::string mountAddress = line->address();
    MountSimulator mount(std::move(line));
    ASSERT_TRUE(mount.start());

    Served served;
    ASSERT_GT(served.port, 0) << served.program.out() << served.program.err();
    Client events(served.port);
    const std::string key = watchAndTakeKey(events, served);
    ASSERT_FALSE(key.empty());
    ASSERT_EQ(served.request("POST", "/api/connect", R"({"port":")" + mountAddress + R"("})", key).status, 200);
    // At once, while the connect may still be on its way: the port is taken all the same.
    const std::string motion = R"({"port":")" + mountAddress +
                               R"(","pulses":1,"length_ms":1000,"baseline_ms":0,"settle_ms":0})";
    EXPECT_EQ(served.request("POST", "/api/motion", motion, key).status, 409);
    ASSERT_TRUE(waitFor([&] { return served.request("GET", "/api/state").body.find("\"port_open\":true") !=
                                     std::string::npos && received(mount, ":GD#"); }));
    ASSERT_EQ(served.request("POST", "/api/pulse", R"({"direction":"north","ms":5000})", key).status, 200);
    ASSERT_TRUE(waitFor([&] { return received(mount, ":Mn#"); }));

    served.program.signal(SIGINT);
    EXPECT_TRUE(served.program.finish(3000)) << "still serving 3 s after SIGINT";
    EXPECT_EQ(served.program.exitCode(), 0) << served.program.err();
    EXPECT_TRUE(waitFor([&] { return received(mount, ":Qn#"); })) << "the pulse was not stopped";
    mount.stop();
}

TEST(ServeStops, SigtermAtAnyMomentOfStartingEndsServeWithin3s)
{
    for (int delayMs = 0; delayMs <= 60; delayMs += 15) {
        GuideLinkProcess program({"serve", "--listen", "127.0.0.1:0"});
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        program.signal(SIGTERM);
        EXPECT_TRUE(program.finish(3000)) << "still serving 3 s after a SIGTERM " << delayMs << " ms after its start";
    }
}

TEST(ServeStarts, OnItsDefaultPortOrWithOneSentenceNamingListen)
{
    const GuideLinkProcess::Outcome help = GuideLinkProcess::run({"serve", "--help"});
    EXPECT_NE(help.out.find("127.0.0.1:7397"), std::string::npos) << help.out;

    Served first;
    ASSERT_GT(first.port, 0);
    const GuideLinkProcess::Outcome second =
        GuideLinkProcess::run({"serve", "--listen", "127.0.0.1:" + std::to_string(first.port)});
    EXPECT_EQ(second.exitCode, 2);
    EXPECT_NE(second.err.find("--listen"), std::string::npos) << second.err;
    EXPECT_EQ(std::count(second.err.begin(), second.err.end(), '\n'), 1) << second.err;
}

}  // namespace
