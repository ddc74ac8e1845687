#pragma once

#include <functional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// How the desktop program was asked to start.
struct DesktopLaunch {
    // Started by the autostart entry: no window when a tray can show the program.
    bool background = false;
    // An action for the running instance (or for this one once it runs): one of
    // SingleInstance::actionNames, or empty to bring the main window forward.
    QString action;
};

// The desktop program's forms: none, `--background`, `--capture [--no-line-breaks | --last]`
// and `--show`. Absent for everything else (recognition, help, version, mistakes), which
// runCommandLine() answers.
std::optional<DesktopLaunch> desktopLaunch(const QStringList &arguments);

// `glyphwell --recognize FILE [--mode text|no-line-breaks|qr] [--language ID]`: reads an
// image the way a capture does after the grab and prints the text. Needs no display. Also
// --help, --version and the error for arguments that fit no form.
// `--doctor` runs the given check (the platform layer's) and returns its status.
// Returns the exit status: 0 with a result, 1 when recognition failed, 2 for bad input.
// nativeArguments, when given, are the same arguments as the system's bytes (argv): the file
// is opened by them. Only regular files are read, and only the formats of ImageFile.h.
int runCommandLine(const QStringList &arguments, const std::function<int()> &doctor = {},
    const QList<QByteArray> &nativeArguments = {});
