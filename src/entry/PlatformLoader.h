#pragma once

#include "platform/PlatformMethods.h"

#include <QString>

#include <memory>

class Dialogs;
class Pasteboard;
class RegionSelector;
class ScreenAccess;
class ScreenGrabber;
class ScreenList;
class WindowActivation;
namespace KeyboardShortcuts {
class HotKeyBackend;
}

// The platform services of one session, picked once at start-up.
struct Platform {
    QString name; // "x11", "wayland" or "null"
    // How the screen is read and how the global shortcuts arrive.
    PlatformMethods methods;
    // Said once at start when the shortcuts cannot be ours: what to do instead.
    QString shortcutNotice;
    // Why screen capture cannot work here; empty when it can.
    QString unavailableReason;
    // Shared by the Wayland grabber and screen access; declared first, destroyed last.
    std::shared_ptr<void> portal;
    std::unique_ptr<ScreenAccess> screenAccess;
    // Declared before the grabber and the selector, which use it, so it is destroyed after them.
    std::unique_ptr<ScreenList> screenList;
    // Declared before the selector: the overlay keeps using the grabber's frozen frame.
    std::unique_ptr<ScreenGrabber> screenGrabber;
    std::unique_ptr<RegionSelector> regionSelector;
    std::unique_ptr<Pasteboard> pasteboard;
    std::unique_ptr<Dialogs> dialogs;
    std::unique_ptr<KeyboardShortcuts::HotKeyBackend> hotKeys;
    std::unique_ptr<WindowActivation> windowActivation;

    Platform();
    Platform(Platform &&) noexcept;
    ~Platform();
};

struct SessionEnvironment {
    QString forced; // GLYPHWELL_PLATFORM
    QString sessionType; // XDG_SESSION_TYPE
    QString waylandDisplay;
    QString x11Display;

    static SessionEnvironment current();
};

// "x11", "wayland" or "null": GLYPHWELL_PLATFORM when it names one, else the session type,
// else whichever display is there.
QString detectPlatform(const SessionEnvironment &environment);

Platform loadPlatform(const QString &name);

// The running program's last shortcut bind through a portal ("bound" and a line per slot,
// or "not bound" and why), for --doctor; in the session's runtime folder.
QString shortcutBindingRecordPath();
void writeShortcutBindingRecord(const QString &record);

// Why the desktop program cannot start here (no display to connect to), or empty. Qt would
// abort with a message about plugins instead.
QString displayProblem(const SessionEnvironment &environment);
