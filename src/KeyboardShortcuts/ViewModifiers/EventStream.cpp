#include "EventStream.h"

#include "KeyboardShortcuts/KeyboardShortcuts.h"
#include "KeyboardShortcuts/Registry.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <coroutine>
#include <deque>

namespace KeyboardShortcuts {

namespace {

// Runs on the main thread's next turn, wherever it was asked from.
void onMainThreadLater(std::function<void()> work)
{
    if (QCoreApplication *app = QCoreApplication::instance())
        QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

// What a stream's generator waits on: the events not taken yet, and the consumer, suspended
// until the next one comes.
struct Channel {
    std::deque<EventType> buffer;
    std::coroutine_handle<> waiting;

    void push(EventType type)
    {
        buffer.push_back(type);
        if (const std::coroutine_handle<> consumer = std::exchange(waiting, {}))
            consumer.resume();
    }

    struct Next {
        Channel &channel;
        bool await_ready() const noexcept { return !channel.buffer.empty(); }
        void await_suspend(std::coroutine_handle<> handle) noexcept { channel.waiting = handle; }
        EventType await_resume()
        {
            const EventType type = channel.buffer.front();
            channel.buffer.pop_front();
            return type;
        }
    };
    Next next() { return Next { *this }; }
};

QCoro::AsyncGenerator<EventType> stream(std::shared_ptr<Channel> channel,
    std::shared_ptr<EventSubscription> subscription, std::optional<EventType> only)
{
    for (;;) {
        EventType type = co_await channel->next();
        if (!only || type == *only)
            co_yield type;
    }
}

QCoro::AsyncGenerator<EventType> makeStream(const Name &name, std::optional<EventType> only)
{
    auto channel = std::make_shared<Channel>();
    // Subscribed now, not when the consumer first asks, so that presses between the next turn
    // and the first question are kept.
    auto subscription
        = std::make_shared<EventSubscription>(name, [weak = std::weak_ptr<Channel>(channel)](EventType type) {
              if (const std::shared_ptr<Channel> live = weak.lock())
                  live->push(type);
          });
    return stream(std::move(channel), std::move(subscription), only);
}

} // namespace

struct EventSubscription::Shared {
    Sink sink;
};

EventSubscription::EventSubscription(const Name &name, Sink sink)
    : m_name(name)
    , m_id(QUuid::createUuid())
    , m_shared(std::make_shared<Shared>(Shared { std::move(sink) }))
{
    const std::weak_ptr<Shared> weak = m_shared;
    onMainThreadLater([name, id = m_id, weak] {
        Registry *registry = Registry::installed();
        if (!registry || weak.expired())
            return;
        const auto deliver = [weak](EventType type) {
            if (const std::shared_ptr<Shared> shared = weak.lock())
                shared->sink(type);
        };
        registry->streamKeyDownHandlers[name].insert(id, [deliver] { deliver(EventType::keyDown); });
        registry->streamKeyUpHandlers[name].insert(id, [deliver] { deliver(EventType::keyUp); });
        if (const std::optional<Shortcut> shortcut = getShortcut(name))
            registry->registerShortcut(*shortcut);
    });
}

EventSubscription::~EventSubscription()
{
    // The name's entries stay (perhaps empty), and with them the registration of its shortcut.
    onMainThreadLater([name = m_name, id = m_id] {
        if (Registry *registry = Registry::installed()) {
            registry->streamKeyDownHandlers[name].remove(id);
            registry->streamKeyUpHandlers[name].remove(id);
        }
    });
}

QCoro::AsyncGenerator<EventType> events(const Name &name)
{
    return makeStream(name, std::nullopt);
}

QCoro::AsyncGenerator<EventType> events(EventType type, const Name &name)
{
    return makeStream(name, type);
}

} // namespace KeyboardShortcuts
