#pragma once

#include "KeyboardShortcuts/Name.h"

#include <QUuid>

#include <QCoro/QCoroAsyncGenerator>

#include <functional>
#include <memory>
#include <optional>

namespace KeyboardShortcuts {

enum class EventType {
    keyDown,
    keyUp,
};

// One listener to a name's presses and releases, through the registry's stream tables. Made
// and destroyed on any thread; the tables change on the main thread's next turn, so presses
// before that turn are not heard. While it lives, the name's shortcut stays registered.
class EventSubscription {
public:
    using Sink = std::function<void(EventType)>;

    // The sink runs on the main thread, from the registry's dispatch.
    EventSubscription(const Name &name, Sink sink);
    ~EventSubscription();
    EventSubscription(const EventSubscription &) = delete;
    EventSubscription &operator=(const EventSubscription &) = delete;

private:
    struct Shared;
    Name m_name;
    QUuid m_id;
    std::shared_ptr<Shared> m_shared;
};

// Every press (keyDown) and release (keyUp) of the name's stored shortcut, buffered without
// bound until the consumer takes them. Ending the iteration (destroying the generator) ends
// the subscription.
QCoro::AsyncGenerator<EventType> events(const Name &name);
// The same, keeping only events of one type.
QCoro::AsyncGenerator<EventType> events(EventType type, const Name &name);

} // namespace KeyboardShortcuts
