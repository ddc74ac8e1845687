#include "Doctor.h"

#include "platform/DesktopBinding.h"

#include "OCRLanguageOption.h"
#include "capture/TessdataLocation.h"
#include "capture/TesseractEngine.h"

#include <QStringList>

#include <algorithm>
#include <cstdio>

namespace {

using Level = DoctorLine::Level;

QString installCommand(const QStringList &packages)
{
    return QStringLiteral("sudo apt-get install ") + packages.join(QLatin1Char(' '));
}

void addSession(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    if (!findings.platformProblem.isEmpty()) {
        lines.push_back({ Level::problem, QStringLiteral("Session"),
            findings.sessionType + QStringLiteral("; ") + findings.platformProblem,
            QStringLiteral("Start Glyphwell in an X11 or Wayland desktop session "
                           "(GLYPHWELL_PLATFORM=x11|wayland overrides the detection)") });
        return;
    }
    lines.push_back({ Level::ok, QStringLiteral("Session"),
        findings.sessionType + QStringLiteral("; platform ") + findings.platform, {} });
}

void addHotKeys(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    using State = DoctorFindings::HotKey::State;
    for (const auto &hotKey : findings.hotKeys) {
        const QString check = QStringLiteral("Shortcut ") + hotKey.action;
        if (!hotKey.combination) {
            lines.push_back({ Level::ok, check, QStringLiteral("no keys set"), {} });
            continue;
        }
        const QString &keys = *hotKey.combination;
        switch (hotKey.state) {
        case State::grabbable:
            lines.push_back({ Level::ok, check, keys + QStringLiteral(" can be grabbed"), {} });
            break;
        case State::heldByRunningGlyphwell:
            lines.push_back(
                { Level::ok, check, keys + QStringLiteral(" is held, by the running Glyphwell"), {} });
            break;
        case State::heldByAnotherClient:
            lines.push_back({ Level::warning, check, keys + QStringLiteral(" is held by another X client"),
                QStringLiteral("Choose another combination in Settings > Shortcuts, or free it in the "
                               "program or desktop settings that use it") });
            break;
        case State::notExpressible:
            lines.push_back({ Level::warning, check, keys + QStringLiteral(" has no X11 equivalent"),
                QStringLiteral("Choose another combination in Settings > Shortcuts") });
            break;
        }
    }
}

void addPortals(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    if (!findings.portals)
        return;
    const PortalVersions &portals = *findings.portals;
    if (portals.screenshot)
        lines.push_back({ Level::ok, QStringLiteral("Screenshot portal"),
            QStringLiteral("version %1").arg(*portals.screenshot), {} });
    else
        lines.push_back(
            { Level::problem, QStringLiteral("Screenshot portal"), QStringLiteral("not available"),
                installCommand({ QStringLiteral("xdg-desktop-portal"),
                    QStringLiteral("xdg-desktop-portal-gnome|-kde|-wlr (your desktop's back-end)") }) });
    const QString check = QStringLiteral("GlobalShortcuts portal");
    const QString hint = desktopBindingHint(currentDesktopFamily());
    if (!portals.globalShortcuts) {
        lines.push_back({ Level::warning, check, QStringLiteral("not available"), hint });
        return;
    }
    const QString version = QStringLiteral("version %1").arg(*portals.globalShortcuts);
    using State = DoctorFindings::ShortcutBinding::State;
    const DoctorFindings::ShortcutBinding binding
        = findings.shortcutBinding.value_or(DoctorFindings::ShortcutBinding {});
    switch (binding.state) {
    case State::bound:
        lines.push_back({ Level::ok, check, version + QStringLiteral(", bound: ") + binding.detail, {} });
        break;
    case State::notBound:
        lines.push_back({ Level::warning, check,
            version + QStringLiteral(", but nothing is bound: ") + binding.detail, hint });
        break;
    case State::sessionRefused:
        lines.push_back({ Level::warning, check,
            version
                + QStringLiteral(
                    ", but it refuses to open a session (a back-end of another desktop answers)"),
            hint });
        break;
    case State::sessionOpens:
        lines.push_back({ Level::ok, check,
            version + QStringLiteral(", opens sessions; start Glyphwell to see what it binds"), {} });
        break;
    }
}

void addTray(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    if (findings.trayHost.isEmpty())
        lines.push_back(
            { Level::warning, QStringLiteral("Tray"), QStringLiteral("none: the main window opens at start"),
                QStringLiteral("For the tray icon, run a tray: your panel's tray or StatusNotifier applet "
                               "(GNOME: the AppIndicator extension)") });
    else
        lines.push_back({ Level::ok, QStringLiteral("Tray"), findings.trayHost, {} });
}

// Every menu language, and what automatic detection reads with.
void addLanguageData(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    const bool automaticSelected = findings.selectedLanguage == OCRLanguageOption::automaticIdentifier
        || !TesseractEngine::tesseractLanguage(findings.selectedLanguage);
    if (!findings.dataDirectory) {
        lines.push_back(
            { Level::problem, QStringLiteral("Recognition data"), QStringLiteral("no tessdata folder"),
                installCommand(
                    { QStringLiteral("tesseract-ocr-eng"), QStringLiteral("tesseract-ocr-script-latn") }) });
        return;
    }
    const QString &directory = *findings.dataDirectory;
    for (const OCRLanguageOption &option : OCRLanguageOption::all()) {
        const QString check = QStringLiteral("Language ") + option.displayName;
        if (option.identifier == OCRLanguageOption::automaticIdentifier) {
            const bool latin = TessdataLocation::hasModel(directory, QStringLiteral("script/Latin"))
                || TessdataLocation::hasModel(directory, QStringLiteral("Latin"));
            const bool english = TessdataLocation::hasModel(directory, QStringLiteral("eng"));
            QStringList missing;
            for (const QString &eastAsian :
                { QStringLiteral("jpn"), QStringLiteral("chi_sim"), QStringLiteral("kor") })
                if (!TessdataLocation::hasModel(directory, eastAsian))
                    missing.append(TessdataLocation::package(eastAsian));
            if (!latin)
                missing.prepend(QStringLiteral("tesseract-ocr-script-latn"));
            QString found = latin ? QStringLiteral("Latin script installed")
                : english         ? QStringLiteral("Latin script missing, reads with English")
                                  : QStringLiteral("neither Latin script nor English installed");
            if (missing.size() > (latin ? 0 : 1))
                found += QStringLiteral("; East Asian detection lacks some data");
            const Level level = !latin && !english ? (automaticSelected ? Level::problem : Level::warning)
                : missing.isEmpty()                ? Level::ok
                                                   : Level::warning;
            lines.push_back({ level, check, found, missing.isEmpty() ? QString() : installCommand(missing) });
            continue;
        }
        const QString language = *TesseractEngine::tesseractLanguage(option.identifier);
        const QString package = TessdataLocation::package(language);
        if (TessdataLocation::hasModel(directory, language)) {
            lines.push_back({ Level::ok, check, package + QStringLiteral(" installed"), {} });
            continue;
        }
        const bool selected = option.identifier == findings.selectedLanguage;
        lines.push_back({ selected ? Level::problem : Level::warning, check,
            package + QStringLiteral(" missing")
                + (selected ? QStringLiteral(" (the chosen language)") : QString()),
            installCommand({ package }) });
    }
}

void addClipboardManager(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    if (!findings.clipboardManager)
        lines.push_back({ Level::ok, QStringLiteral("Clipboard manager"),
            QStringLiteral("not checked in this session"), {} });
    else if (*findings.clipboardManager)
        lines.push_back({ Level::ok, QStringLiteral("Clipboard manager"), QStringLiteral("running"), {} });
    else
        lines.push_back({ Level::warning, QStringLiteral("Clipboard manager"),
            QStringLiteral("none: text copied by a program that quits is lost"),
            installCommand({ QStringLiteral("parcellite|copyq|diodon|xfce4-clipman") }) });
}

void addHistory(std::vector<DoctorLine> &lines, const DoctorFindings &findings)
{
    if (!findings.historyProblem.isEmpty())
        lines.push_back({ Level::warning, QStringLiteral("Capture history"), findings.historyProblem,
            QStringLiteral("Move it away: Glyphwell keeps its history in a regular file there") });
}

QString levelName(Level level)
{
    switch (level) {
    case Level::ok:
        return QStringLiteral("ok");
    case Level::warning:
        return QStringLiteral("warning");
    case Level::problem:
        return QStringLiteral("PROBLEM");
    }
    return {};
}

} // namespace

std::vector<DoctorLine> doctorLines(const DoctorFindings &findings)
{
    std::vector<DoctorLine> lines;
    addSession(lines, findings);
    addHotKeys(lines, findings);
    addPortals(lines, findings);
    addTray(lines, findings);
    addLanguageData(lines, findings);
    addClipboardManager(lines, findings);
    addHistory(lines, findings);
    return lines;
}

QString doctorTable(const std::vector<DoctorLine> &lines)
{
    std::vector<DoctorLine> rows { { Level::ok, QStringLiteral("Check"), QStringLiteral("Found"),
        QStringLiteral("Fix") } };
    rows.insert(rows.end(), lines.begin(), lines.end());
    qsizetype statusWidth = 6, checkWidth = 0, foundWidth = 0;
    for (const DoctorLine &line : rows) {
        statusWidth = std::max(statusWidth, levelName(line.level).size());
        checkWidth = std::max(checkWidth, line.check.size());
        foundWidth = std::max(foundWidth, line.found.size());
    }
    QString table;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const DoctorLine &line = rows[i];
        const QString status = i == 0 ? QStringLiteral("Status") : levelName(line.level);
        QString row = status.leftJustified(statusWidth + 2) + line.check.leftJustified(checkWidth + 2)
            + line.found.leftJustified(foundWidth + 2) + line.fix;
        table += row.trimmed() + QLatin1Char('\n');
    }
    return table;
}

int doctorExitStatus(const std::vector<DoctorLine> &lines)
{
    return std::any_of(lines.begin(), lines.end(),
               [](const DoctorLine &line) { return line.level == Level::problem; })
        ? 1
        : 0;
}

int printDoctorReport(const DoctorFindings &findings)
{
    const std::vector<DoctorLine> lines = doctorLines(findings);
    const QByteArray text = doctorTable(lines).toUtf8();
    std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
    const int status = doctorExitStatus(lines);
    std::printf(
        status == 0 ? "A capture can work here.\n" : "A capture cannot work here: see the PROBLEM lines.\n");
    return status;
}
