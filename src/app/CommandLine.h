#pragma once

#include <QStringList>

// `glyphwell --recognize FILE [--mode text|no-line-breaks|qr] [--language ID]`: reads an
// image the way a capture does after the grab and prints the text. Needs no display.
// Returns the exit status: 0 with a result, 1 when recognition failed, 2 for bad input.
int runRecognizeCommand(const QStringList &arguments);

// Whether the arguments ask for a command-line run (recognition, help, version, or a
// mistake to report) rather than the desktop program, which takes none.
bool isCommandLineRun(const QStringList &arguments);
