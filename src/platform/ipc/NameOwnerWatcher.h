#pragma once
// Follows who owns a bus name through the bus's owner-change signals (the stand-in for a
// connection's death notification), and judges callers by that name from their message's sender
// alone: a handler never waits on the bus to decide who may call. The owner and its Unix user are
// asked for without waiting; a judgement asked before they are known is given once they are.
// Owned by its user; main thread only.

#include "platform/ipc/BusConnection.h"

#include <functional>
#include <memory>
#include <string>

namespace vtl {

class NameOwnerWatcher {
public:
    // Called with the owner before and after; an empty string means no owner.
    using Handler = std::function<void(const std::string& oldOwner, const std::string& newOwner)>;
    // Whether the caller may go on; `why` tells a refused caller.
    using Judgement = std::function<void(bool allowed, const std::string& why)>;

    // `handler` (may be empty) hears of changes after the watcher was made, not of the first answer.
    NameOwnerWatcher(BusConnection& bus, std::string name, Handler handler = {});
    ~NameOwnerWatcher();
    NameOwnerWatcher(const NameOwnerWatcher&) = delete;
    NameOwnerWatcher& operator=(const NameOwnerWatcher&) = delete;

    const std::string& name() const;
    // The owner's unique name; empty when there is none or it is not known yet.
    const std::string& owner() const;
    bool ownerKnown() const;

    // Allows a caller that owns the name and runs as this process's user. Decides at once when
    // the owner is known, otherwise when the bus has answered (a judgement may then never come
    // if the watcher goes first). At most kMaximumWaitingJudgements wait; more are refused.
    void judgeCaller(const std::string& callerBusName, Judgement judgement);
    static constexpr std::size_t kMaximumWaitingJudgements = 64;

    struct Impl;

private:
    std::unique_ptr<Impl> impl_;
};

} // namespace vtl
