// The session-bus layer against a private bus: remote objects with their argument and caller
// checks, one-way calls, broadcast notifications, name owners and their changes.

#include "ipc/PrivateSessionBus.h"
#include "platform/ipc/BusConnection.h"
#include "platform/ipc/DistributedNotificationCenter.h"
#include "platform/ipc/NameOwnerWatcher.h"
#include "platform/ipc/RemoteObjectProxy.h"
#include "platform/ipc/RemoteObjectServer.h"
#include "platform/ipc/ScreenSaverInhibitor.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace vtl {
namespace {

using vtl::testing::processEventsFor;
using vtl::testing::processEventsUntil;

constexpr const char* kServiceName = "com.morlunesoftware.vistrel3.test.service";
constexpr const char* kTrustedName = "com.morlunesoftware.vistrel3.test.trusted";
constexpr const char* kInterface = "com.morlunesoftware.vistrel3.test.Echo";

class IpcTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string error;
        if (!vtl::testing::startPrivateSessionBus(error)) GTEST_SKIP() << error;
        vtl::testing::ensureApplication();
        server = BusConnection::openSeparate(error);
        client = BusConnection::openSeparate(error);
        ASSERT_TRUE(server && client) << error;
    }

    // Serves "echo" methods for each value type, a counter for one-way calls, and refuses
    // callers that do not own kTrustedName.
    void serve() {
        std::string error;
        auto echo = [](const IpcArguments& a) {
            IpcReply reply;
            reply.value = a.at(0);
            return reply;
        };
        std::vector<IpcMethod> methods = {
            {"echoBool", "b", "b", false, echo},
            {"echoInt", "i", "i", false, echo},
            {"echoUInt", "u", "u", false, echo},
            {"echoString", "s", "s", false, echo},
            {"echoBytes", "ay", "ay", false, echo},
            {"count", "", "", true,
             [this](const IpcArguments&) {
                 ++counted;
                 return IpcReply{};
             }},
            {"fail", "", "", false,
             [](const IpcArguments&) {
                 IpcReply reply;
                 reply.error = "It did not work.";
                 return reply;
             }},
        };
        BusConnection* bus = server.get();
        object = RemoteObjectServer::create(
            *server, kInterface, std::move(methods),
            [bus](const std::string& caller, std::string& why) {
                return callerIsOwnerOf(*bus, caller, kTrustedName, why);
            },
            error);
        ASSERT_TRUE(object) << error;
        ASSERT_TRUE(server->requestName(kServiceName, error)) << error;
    }

    // Server and client share this thread: a waiting call must let the server answer.
    RemoteObjectProxy proxyFrom(BusConnection& bus) {
        RemoteObjectProxy proxy(bus, kServiceName, kInterface);
        proxy.setHandlesEventsWhileWaiting(true);
        return proxy;
    }

    std::unique_ptr<BusConnection> server, client;
    std::unique_ptr<RemoteObjectServer> object;
    int counted = 0;
};

TEST_F(IpcTest, CallsFromTheTrustedNamesOwnerCarryEveryValueTypeBothWays) {
    serve();
    std::string error;
    ASSERT_TRUE(client->requestName(kTrustedName, error)) << error;
    RemoteObjectProxy proxy = proxyFrom(*client);
    const std::vector<std::pair<const char*, IpcValue>> cases = {
        {"echoBool", true},
        {"echoInt", std::int32_t{-7}},
        {"echoUInt", std::uint32_t{4000000000u}},
        {"echoString", std::string("grüne Wiese")},
        {"echoBytes", IpcBytes{0, 1, 2, 255}},
        {"echoBytes", IpcBytes{}},
    };
    for (const auto& [method, value] : cases) {
        IpcReply reply = proxy.call(method, {value});
        ASSERT_TRUE(reply) << method << ": " << reply.error;
        ASSERT_TRUE(reply.value) << method;
        EXPECT_EQ(*reply.value, value) << method;
    }
}

TEST_F(IpcTest, RefusesCallersWithoutTheTrustedNameAndArgumentsOfTheWrongType) {
    serve();
    RemoteObjectProxy proxy = proxyFrom(*client);
    IpcReply refused = proxy.call("echoBool", {true});
    EXPECT_FALSE(refused);
    EXPECT_EQ(refused.errorName, "org.freedesktop.DBus.Error.AccessDenied");
    EXPECT_EQ(object->refusedCalls(), 1);

    // The name owned by a third connection does not make the client trusted either.
    std::string error;
    auto third = BusConnection::openSeparate(error);
    ASSERT_TRUE(third && third->requestName(kTrustedName, error)) << error;
    EXPECT_FALSE(proxy.call("echoBool", {true}));
    EXPECT_TRUE(proxyFrom(*third).call("echoBool", {true}));

    third.reset();
    ASSERT_TRUE(client->requestName(kTrustedName, error)) << error;
    struct Case {
        const char* method;
        IpcArguments arguments;
        const char* errorName;
    };
    const Case cases[] = {
        {"echoBool", {std::string("yes")}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {"echoBool", {}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {"echoBool", {true, true}, "org.freedesktop.DBus.Error.InvalidArgs"},
        {"noSuchMethod", {}, "org.freedesktop.DBus.Error.UnknownMethod"},
        {"fail", {}, "org.freedesktop.DBus.Error.Failed"},
    };
    for (const Case& c : cases) {
        IpcReply reply = proxy.call(c.method, c.arguments);
        EXPECT_FALSE(reply) << c.method;
        EXPECT_EQ(reply.errorName, c.errorName) << c.method;
        EXPECT_FALSE(reply.error.empty()) << c.method;
    }
}

TEST_F(IpcTest, OneWayCallsArriveInOrderWithoutAReply) {
    serve();
    std::string error;
    ASSERT_TRUE(client->requestName(kTrustedName, error)) << error;
    RemoteObjectProxy proxy = proxyFrom(*client);
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(proxy.send("count"));
    EXPECT_TRUE(processEventsUntil([&] { return counted == 3; }, 30));
    // A nil proxy swallows calls.
    RemoteObjectProxy nil;
    EXPECT_TRUE(nil.isNil());
    EXPECT_TRUE(nil.send("count"));
    EXPECT_TRUE(nil.call("echoBool", {true}));
}

// The caller's loop keeps running while an asynchronous call is out: here it is the loop that
// serves the call, so a waiting call could never be answered.
TEST_F(IpcTest, AsynchronousCallsReturnAtOnceAndDeliverTheirReplyOrError) {
    serve();
    std::string error;
    ASSERT_TRUE(client->requestName(kTrustedName, error)) << error;
    RemoteObjectProxy proxy(*client, kServiceName, kInterface); // handles no events while waiting
    struct Case {
        const char* method;
        IpcArguments arguments;
        const char* errorName; // empty: a success echoing the argument
    };
    const Case cases[] = {
        {"echoString", {std::string("back")}, ""},
        {"fail", {}, "org.freedesktop.DBus.Error.Failed"},
        {"noSuchMethod", {}, "org.freedesktop.DBus.Error.UnknownMethod"},
    };
    for (const Case& c : cases) {
        std::optional<IpcReply> got;
        proxy.callAsync(c.method, c.arguments, 5000, [&](IpcReply reply) { got = std::move(reply); });
        EXPECT_FALSE(got) << c.method << ": the reply comes from the event loop";
        ASSERT_TRUE(processEventsUntil([&] { return got.has_value(); }, 10)) << c.method;
        EXPECT_EQ(got->errorName, c.errorName) << c.method;
        if (std::string(c.errorName).empty()) {
            EXPECT_TRUE(*got) << got->error;
            EXPECT_EQ(got->value, c.arguments.at(0));
        } else {
            EXPECT_FALSE(got->error.empty()) << c.method;
        }
    }
    // A peer that is not there answers with an error, and a nil proxy with a success at once.
    std::optional<IpcReply> missing;
    RemoteObjectProxy(*client, "com.morlunesoftware.vistrel3.test.absent", kInterface)
        .callAsync("echoBool", {true}, 5000, [&](IpcReply reply) { missing = std::move(reply); });
    ASSERT_TRUE(processEventsUntil([&] { return missing.has_value(); }, 10));
    EXPECT_FALSE(*missing);
    bool nilAnswered = false;
    RemoteObjectProxy().callAsync("echoBool", {true}, 5000,
                                  [&](IpcReply reply) { nilAnswered = reply.ok(); });
    EXPECT_TRUE(nilAnswered);
}

TEST_F(IpcTest, AWellKnownNameHasOneOwnerAndItsOwnerChangesAreSeen) {
    std::string error;
    ASSERT_TRUE(server->requestName(kServiceName, error)) << error;
    EXPECT_FALSE(client->requestName(kServiceName, error));
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(client->nameOwner(kServiceName), server->uniqueName());
    EXPECT_EQ(client->unixUserOf(server->uniqueName()), static_cast<std::uint32_t>(::geteuid()));

    std::vector<std::pair<std::string, std::string>> changes;
    NameOwnerWatcher watcher(*client, kServiceName, [&](const std::string& before, const std::string& after) {
        changes.emplace_back(before, after);
    });
    std::string owner = server->uniqueName();
    server.reset(); // the owner's connection ends, as when its process dies
    ASSERT_TRUE(processEventsUntil([&] { return !changes.empty(); }, 30));
    EXPECT_EQ(changes.front().first, owner);
    EXPECT_EQ(changes.front().second, "");
    EXPECT_FALSE(client->hasOwner(kServiceName));
}

TEST_F(IpcTest, NotificationsReachObserversWithTheirUserInfoAndSender) {
    DistributedNotificationCenter sender(*server);
    DistributedNotificationCenter receiver(*client);
    std::vector<DistributedNotification> received;
    auto token = receiver.addObserver("VistrelTestNotification",
                                      [&](const DistributedNotification& n) { received.push_back(n); });
    ASSERT_NE(token, 0u);
    receiver.addObserver("VistrelOtherNotification",
                         [&](const DistributedNotification& n) { received.push_back(n); });
    // The subscription reaches the bus before the first post is made.
    client->flush();

    PropertyList info = PropertyList::dictionary({{"count", 3}, {"name", "take"}});
    EXPECT_TRUE(sender.post("VistrelTestNotification", info));
    EXPECT_TRUE(sender.post("VistrelTestNotification"));
    EXPECT_TRUE(sender.post("VistrelUnobservedNotification"));
    ASSERT_TRUE(processEventsUntil([&] { return received.size() >= 2; }, 30));
    processEventsFor(0.2);
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].name, "VistrelTestNotification");
    EXPECT_EQ(received[0].userInfo, info);
    EXPECT_EQ(received[0].senderBusName, server->uniqueName());
    EXPECT_TRUE(received[1].userInfo.isNone());

    receiver.removeObserver(token);
    client->flush();
    sender.post("VistrelTestNotification");
    processEventsFor(0.3);
    EXPECT_EQ(received.size(), 2u);
}

TEST_F(IpcTest, ScreenSaverInhibitionWithoutAServiceFailsWithAMessage) {
    ScreenSaverInhibitor inhibitor(*client);
    std::string error;
    EXPECT_FALSE(inhibitor.inhibit("Vistrel", "test", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(inhibitor.isInhibited());
    EXPECT_TRUE(inhibitor.release(error));
}

} // namespace
} // namespace vtl
