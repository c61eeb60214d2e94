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
        trusted = std::make_unique<NameOwnerWatcher>(*server, kTrustedName);
        NameOwnerWatcher* watcher = trusted.get();
        object = RemoteObjectServer::create(
            *server, kInterface, std::move(methods),
            [watcher](const std::string& caller, IpcCallerDecision decided) {
                watcher->judgeCaller(caller, std::move(decided));
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
    std::unique_ptr<NameOwnerWatcher> trusted;
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

// Past 63 MiB of received messages the bus library stopped reading and, freed on the main thread,
// never read again: one call made the object deaf. Large calls are refused for what they are.
TEST_F(IpcTest, ALargeCallIsRefusedForItsSizeOrCallerAndTheObjectStillAnswers) {
    serve();
    std::string error;
    auto owner = BusConnection::openSeparate(error);
    ASSERT_TRUE(owner && owner->requestName(kTrustedName, error)) << error;
    struct Case {
        const char* who;
        BusConnection* caller;
        std::size_t bytes;
        const char* errorName;
        const char* reason;
    };
    // 63 MiB is what made the object deaf; a call just over the limit shows the owner's refusal.
    const Case cases[] = {
        {"stranger", client.get(), std::size_t{63} << 20, "org.freedesktop.DBus.Error.AccessDenied",
         "does not own com.morlunesoftware.vistrel3.test.trusted"},
        {"owner", owner.get(), kMaximumArgumentBytes + 1, "org.freedesktop.DBus.Error.LimitsExceeded",
         "take 1048577 bytes; it accepts at most 1048576."},
    };
    for (const Case& c : cases) {
        // Carrying 63 MiB through the bus takes a while on a loaded machine.
        IpcReply reply = proxyFrom(*c.caller).call("echoBytes", {IpcBytes(c.bytes, 7)}, 240000);
        EXPECT_FALSE(reply) << c.who << " " << c.bytes;
        EXPECT_EQ(reply.errorName, c.errorName) << c.who << " " << c.bytes;
        EXPECT_NE(reply.error.find(c.reason), std::string::npos) << reply.error;
        IpcReply after = proxyFrom(*owner).call("echoBool", {true}, 5000);
        EXPECT_TRUE(after) << "after the " << c.who << "'s call: " << after.error;
    }
    IpcReply limit = proxyFrom(*owner).call("echoBytes", {IpcBytes(kMaximumArgumentBytes, 7)});
    EXPECT_TRUE(limit) << limit.error;
}

// The owner of the trusted name is followed from the bus's signals; a caller is judged from its
// message alone, also while the owner changes.
TEST_F(IpcTest, CallersAreJudgedByTheCurrentOwnerWithoutAskingTheBus) {
    std::string error;
    auto first = BusConnection::openSeparate(error);
    ASSERT_TRUE(first && first->requestName(kTrustedName, error)) << error;
    NameOwnerWatcher watcher(*server, kTrustedName);
    struct Verdict {
        bool given = false;
        bool allowed = false;
        std::string why;
    };
    auto judge = [&](const std::string& caller) {
        auto verdict = std::make_shared<Verdict>();
        watcher.judgeCaller(caller, [verdict](bool allowed, const std::string& why) {
            *verdict = {true, allowed, why};
        });
        return verdict;
    };
    // Asked before the bus has answered: given once it has.
    auto early = judge(first->uniqueName());
    ASSERT_TRUE(processEventsUntil([&] { return early->given; }, 30));
    EXPECT_TRUE(early->allowed) << early->why;
    EXPECT_EQ(watcher.owner(), first->uniqueName());

    auto stranger = judge(client->uniqueName());
    ASSERT_TRUE(stranger->given) << "a stranger is refused at once";
    EXPECT_FALSE(stranger->allowed);
    EXPECT_EQ(stranger->why, std::string("the caller does not own ") + kTrustedName);
    auto nameless = judge("");
    ASSERT_TRUE(nameless->given);
    EXPECT_FALSE(nameless->allowed);

    const std::string firstName = first->uniqueName();
    first.reset();
    ASSERT_TRUE(processEventsUntil([&] { return watcher.owner().empty(); }, 30));
    auto gone = judge(firstName);
    ASSERT_TRUE(gone->given);
    EXPECT_FALSE(gone->allowed) << "a former owner is a stranger";

    ASSERT_TRUE(client->requestName(kTrustedName, error)) << error;
    ASSERT_TRUE(processEventsUntil([&] { return watcher.owner() == client->uniqueName(); }, 30));
    auto next = judge(client->uniqueName());
    ASSERT_TRUE(processEventsUntil([&] { return next->given; }, 30));
    EXPECT_TRUE(next->allowed) << next->why;
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
        proxy.callThen(c.method, c.arguments, 5000, [&](const IpcReply& reply) { got = reply; });
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
        .callThen("echoBool", {true}, 5000, [&](const IpcReply& reply) { missing = reply; });
    ASSERT_TRUE(processEventsUntil([&] { return missing.has_value(); }, 10));
    EXPECT_FALSE(*missing);
    bool nilAnswered = false;
    RemoteObjectProxy().callThen("echoBool", {true}, 5000,
                                 [&](const IpcReply& reply) { nilAnswered = reply.ok(); });
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
