#pragma once

#include "platform/PortalVersions.h"

#include <QString>

#include <optional>
#include <vector>

// What `glyphwell --doctor` found on this machine; gathered by the platform layer, judged here.
struct DoctorFindings {
    QString sessionType; // as the environment tells it, e.g. "x11 (DISPLAY=:0)"
    QString platform; // "x11", "wayland" or "null"
    QString platformProblem; // why the platform cannot capture; empty when it can

    struct HotKey {
        enum class State { grabbable, heldByAnotherClient, heldByRunningGlyphwell, notExpressible };
        QString action; // "Capture Text"
        std::optional<QString> combination; // absent: no keys set
        State state = State::grabbable;
    };
    std::vector<HotKey> hotKeys; // X11 only

    std::optional<PortalVersions> portals; // Wayland only
    // Wayland with a GlobalShortcuts portal: whether it binds, which an answering interface
    // does not tell (a back-end of another desktop may answer and refuse everything).
    struct ShortcutBinding {
        enum class State {
            sessionOpens, // a trial session opened; nothing bound yet (Glyphwell not running)
            sessionRefused, // the portal refused even a session
            bound, // the running Glyphwell's last bind: detail names the keys
            notBound, // the running Glyphwell's last bind failed: detail says why
        };
        State state = State::sessionOpens;
        QString detail;
    };
    std::optional<ShortcutBinding> shortcutBinding;
    QString trayHost; // what shows the tray icon; empty: none
    std::optional<bool> clipboardManager; // absent: cannot be told in this session
    std::optional<QString> dataDirectory; // Tesseract's data folder
    QString selectedLanguage; // the language identifier the next capture uses
    QString historyProblem; // why the history file there was not read (a FIFO, a folder); empty: read or none
};

struct DoctorLine {
    enum class Level { ok, warning, problem };
    Level level = Level::ok;
    QString check;
    QString found;
    QString fix; // empty when nothing is to be done
};

std::vector<DoctorLine> doctorLines(const DoctorFindings &findings);
// One aligned table, a line per check.
QString doctorTable(const std::vector<DoctorLine> &lines);
// 0 when a capture can work, 1 when a line says it cannot.
int doctorExitStatus(const std::vector<DoctorLine> &lines);
// Prints the table on standard output and returns the exit status.
int printDoctorReport(const DoctorFindings &findings);
