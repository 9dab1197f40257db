// What guide-link serve takes from the network: each value a request may carry, the listen
// address, the token and the origin. A refused value must leave what it would have set alone.
#include "serve/RequestChecks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using Json = nlohmann::json;

struct LengthCase {
    const char* what;
    Json body;
    int status;  // 0: accepted
    int ms;      // as accepted
};

TEST(ServeRequestChecksTest, PulseLengthsOutsideTheDialogsRangeAreRefused)
{
    const LengthCase cases[] = {
        {"shortest", {{"ms", 200}}, 0, 200},
        {"longest", {{"ms", 5000}}, 0, 5000},
        {"between steps, kept as the dialog keeps it", {{"ms", 250}}, 0, 250},
        {"far too long", {{"ms", 99999}}, 400, 0},
        {"too short", {{"ms", 199}}, 400, 0},
        {"negative", {{"ms", -1000}}, 400, 0},
        {"past 32 bits", {{"ms", 4294968296LL}}, 400, 0},
        {"text", {{"ms", "1000"}}, 400, 0},
        {"fraction", {{"ms", 1000.5}}, 400, 0},
        {"missing", Json::object(), 400, 0},
    };
    for (const LengthCase& c : cases) {
        PulseLength length{0, false};
        const web::MaybeRefusal refusal = web::readPulseLength(c.body, length);
        EXPECT_EQ(refusal ? refusal->status : 0, c.status) << c.what;
        EXPECT_EQ(length.ms, c.ms) << c.what;
        if (refusal) {
            EXPECT_FALSE(refusal->message.empty()) << c.what;
        }
    }
}

TEST(ServeRequestChecksTest, DirectionsAreTheFourByName)
{
    const struct {
        Json body;
        bool accepted;
        Direction direction;
    } cases[] = {
        {{{"direction", "north"}}, true, Direction::North},
        {{{"direction", "West"}}, true, Direction::West},
        {{{"direction", "e"}}, true, Direction::East},
        {{{"direction", "up"}}, false, Direction::South},
        {{{"direction", ""}}, false, Direction::South},
        {{{"direction", 0}}, false, Direction::South},
        {Json::object(), false, Direction::South},
    };
    for (const auto& c : cases) {
        Direction direction = Direction::South;
        const web::MaybeRefusal refusal = web::readDirection(c.body, direction);
        EXPECT_EQ(!refusal, c.accepted) << c.body.dump();
        EXPECT_EQ(direction, c.direction) << c.body.dump();
        if (refusal) {
            EXPECT_EQ(refusal->status, 400);
        }
    }
}

TEST(ServeRequestChecksTest, PortsAreSerialDevicesOrNetworkAddresses)
{
    const struct {
        const char* port;
        bool accepted;
        bool indiTaken = false;  // the motion check's port, which may be behind an INDI server
    } cases[] = {
        {"/dev/null", true},  // a character device; whether it is a serial line, opening tells
        {"tcp://192.168.1.20:4030", true},
        {"/etc/passwd", false},
        {"/dev", false},
        {"/dev/no-such-device", false},
        {"", false},
        {"COM3", false},
        {"indi://127.0.0.1/Telescope%20Simulator", false},
        {"indi://127.0.0.1/Telescope%20Simulator", true, true},
    };
    for (const auto& c : cases) {
        devices::PortChoice port;
        const web::MaybeRefusal refusal = web::readPort({{"port", c.port}}, 1, port, c.indiTaken);
        EXPECT_EQ(!refusal, c.accepted) << c.port;
        EXPECT_EQ(port.device.empty(), !c.accepted) << c.port;
    }
}

TEST(ServeRequestChecksTest, MotionPlansTakeTheCommandLinesRanges)
{
    const Json good = {{"pulses", 2}, {"length_ms", 1000}, {"baseline_ms", 0}, {"settle_ms", 600000}};
    motion::Plan plan;
    ASSERT_FALSE(web::readMotionPlan(good, plan));
    EXPECT_EQ(plan.pulses, 2);
    EXPECT_EQ(plan.lengthMs, 1000);
    EXPECT_EQ(plan.settleMs, 600000);

    const struct {
        const char* member;
        Json value;
    } wrong[] = {{"pulses", 0}, {"pulses", 101}, {"length_ms", 99999}, {"length_ms", 100},
                 {"baseline_ms", -1}, {"settle_ms", 600001}, {"pulses", nullptr}};
    for (const auto& c : wrong) {
        Json body = good;
        body[c.member] = c.value;
        motion::Plan untouched;
        const web::MaybeRefusal refusal = web::readMotionPlan(body, untouched);
        ASSERT_TRUE(refusal) << c.member << " " << c.value.dump();
        EXPECT_EQ(refusal->status, 400);
        EXPECT_EQ(untouched.pulses, motion::Plan{}.pulses);
        EXPECT_EQ(untouched.lengthMs, motion::Plan{}.lengthMs);
    }
}

TEST(ServeRequestChecksTest, ListenAddressesAndWhoCanReachThem)
{
    const struct {
        const char* text;
        bool valid;
        const char* host;
        int port;
        bool network;
    } cases[] = {
        {"127.0.0.1:8080", true, "127.0.0.1", 8080, false},
        {"localhost:80", true, "localhost", 80, false},
        {"[::1]:8080", true, "::1", 8080, false},
        {"0.0.0.0:8080", true, "0.0.0.0", 8080, true},
        {"192.168.1.5:9000", true, "192.168.1.5", 9000, true},
        {"127.0.0.1", false, "", 0, false},
        {":8080", false, "", 0, false},
        {"127.0.0.1:0", true, "127.0.0.1", 0, false},
        {"127.0.0.1:-1", false, "", 0, false},
        {"127.0.0.1:65536", false, "", 0, false},
        {"127.0.0.1:80x", false, "", 0, false},
    };
    for (const auto& c : cases) {
        web::ListenAddress address;
        std::string error;
        EXPECT_EQ(web::readListenAddress(c.text, address, error), c.valid) << c.text;
        EXPECT_EQ(error.empty(), c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(address.host, c.host) << c.text;
        EXPECT_EQ(address.port, c.port) << c.text;
        EXPECT_EQ(web::reachableFromNetwork(address.host), c.network) << c.text;
    }
}

TEST(ServeRequestChecksTest, TokensAreFreshAndMustMatchWhole)
{
    const std::string token = web::makeToken();
    EXPECT_EQ(token.size(), 32u);
    EXPECT_NE(web::makeToken(), token);
    EXPECT_TRUE(web::tokenMatches(token, token));
    EXPECT_FALSE(web::tokenMatches("", token));
    EXPECT_FALSE(web::tokenMatches(token.substr(0, 31), token));
    EXPECT_FALSE(web::tokenMatches(token + "0", token));
    std::string changed = token;
    changed[31] = changed[31] == 'a' ? 'b' : 'a';
    EXPECT_FALSE(web::tokenMatches(changed, token));
    EXPECT_FALSE(web::tokenMatches("", ""));
}

TEST(ServeRequestChecksTest, LoopbackServesOnlyLoopbackNamesOnAnyPort)
{
    const struct {
        const char* host;
        bool accepted;
    } cases[] = {
        {"127.0.0.1:7397", true},
        {"localhost:9000", true},  // an SSH tunnel's other end
        {"[::1]:7397", true},
        {"localhost", true},
        {"rebound.example:7397", false},
        {"127.0.0.1.rebound.example:7397", false},
        {"localhost.:7397", false},
        {"[::1", false},
        {"::1:7397", false},
        {"127.0.0.1:", false},
        {"127.0.0.1:7397x", false},
        {"", false},
    };
    for (const auto& c : cases) EXPECT_EQ(web::loopbackHost(c.host), c.accepted) << c.host;
}

TEST(ServeRequestChecksTest, OnlyThePagesOwnOriginMayAsk)
{
    EXPECT_TRUE(web::sameOrigin("", "127.0.0.1:8080"));  // not sent: not a browser's cross-site request
    EXPECT_TRUE(web::sameOrigin("http://127.0.0.1:8080", "127.0.0.1:8080"));
    EXPECT_FALSE(web::sameOrigin("http://evil.example", "127.0.0.1:8080"));
    EXPECT_FALSE(web::sameOrigin("http://127.0.0.1:8081", "127.0.0.1:8080"));
    EXPECT_FALSE(web::sameOrigin("null", "127.0.0.1:8080"));
    EXPECT_FALSE(web::sameOrigin("http://127.0.0.1:8080", ""));
}

}  // namespace
