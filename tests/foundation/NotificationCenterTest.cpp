#include "platform/foundation/NotificationCenter.h"

#include <atomic>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace vtl {
namespace {

TEST(NotificationCenter, FiltersByNameAndSender) {
    NotificationCenter center;
    int senderA = 0, senderB = 0;
    struct Case {
        const char* name;
        const void* object;
    };
    const Case observers[] = {{"changed", &senderA}, {"changed", nullptr}, {"", &senderA}, {"", nullptr}};
    std::vector<int> calls(std::size(observers));
    for (std::size_t i = 0; i < std::size(observers); ++i)
        center.addObserver(observers[i].name, observers[i].object,
                           [&calls, i](const Notification&) { ++calls[i]; });

    center.post("changed", &senderA);
    EXPECT_EQ(calls, (std::vector<int>{1, 1, 1, 1}));
    center.post("changed", &senderB);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 1, 2}));
    center.post("other", &senderA);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 2, 3}));
    center.post("other", nullptr);
    EXPECT_EQ(calls, (std::vector<int>{1, 2, 2, 4}));
}

TEST(NotificationCenter, DeliversUserInfoSynchronouslyOnThePostingThread) {
    NotificationCenter center;
    double time = 0;
    std::thread::id thread;
    center.addObserver("didStartPlay", nullptr, [&](const Notification& n) {
        thread = std::this_thread::get_id();
        if (auto* value = n.value<double>("currentTime")) time = *value;
        EXPECT_EQ(n.value<std::string>("currentTime"), nullptr); // wrong type gives null
        EXPECT_EQ(n.value<double>("missing"), nullptr);
    });
    std::thread poster([&] { center.post("didStartPlay", nullptr, {{"currentTime", 12.5}}); });
    auto posterId = poster.get_id();
    poster.join();
    EXPECT_EQ(time, 12.5);
    EXPECT_EQ(thread, posterId);
}

TEST(NotificationCenter, ObserverRemovedDuringDeliveryIsNotCalledAfterwards) {
    NotificationCenter center;
    std::vector<std::string> calls;
    NotificationCenter::Token second = 0, first = 0;
    first = center.addObserver("n", nullptr, [&](const Notification&) {
        calls.push_back("first");
        center.removeObserver(second);
        center.removeObserver(first); // removing itself is safe too
    });
    second = center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("second"); });
    center.addObserver("n", nullptr, [&](const Notification&) { calls.push_back("third"); });
    center.post("n");
    center.post("n");
    EXPECT_EQ(calls, (std::vector<std::string>{"first", "third", "third"}));
    center.removeObserver(12345); // unknown: ignored
}

// Removes a registration when destroyed, as an object holding a scoped observer does.
struct RemovesWhenDestroyed {
    NotificationCenter* center;
    NotificationCenter::Token token;
    ~RemovesWhenDestroyed() { center->removeObserver(token); }
};

TEST(NotificationCenter, RemovingAnObserverWhoseCapturesRemoveAnotherWhenReleased) {
    // Leaked if the removal never returns, so the stuck thread does not outlive the center.
    auto* center = new NotificationCenter();
    std::atomic<int> calls{0};
    const auto other = center->addObserver("n", nullptr, [&](const Notification&) { ++calls; });
    auto holder = std::make_shared<RemovesWhenDestroyed>(center, other);
    const auto first = center->addObserver("n", nullptr, [holder](const Notification&) {});
    holder.reset();
    auto done = std::make_shared<std::promise<void>>();
    std::thread([center, first, done] {
        center->removeObserver(first);
        done->set_value();
    }).detach();
    ASSERT_EQ(done->get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
    center->post("n");
    EXPECT_EQ(calls.load(), 0);
    delete center;
}

TEST(NotificationCenter, ObserverAddedDuringDeliveryWaitsForTheNextPost) {
    NotificationCenter center;
    int late = 0;
    center.addObserver("n", nullptr, [&](const Notification&) {
        center.addObserver("n", nullptr, [&](const Notification&) { ++late; });
    });
    center.post("n");
    EXPECT_EQ(late, 0);
    center.post("n");
    EXPECT_EQ(late, 1);
}

TEST(NotificationCenter, ScopedObserverRemovesItsRegistration) {
    int calls = 0;
    auto& center = NotificationCenter::defaultCenter();
    {
        ScopedNotificationObserver scoped(
            center, center.addObserver("scoped", nullptr, [&](const Notification&) { ++calls; }));
        center.post("scoped");
        ScopedNotificationObserver moved = std::move(scoped);
        center.post("scoped");
    }
    center.post("scoped");
    EXPECT_EQ(calls, 2);
}

} // namespace
} // namespace vtl
