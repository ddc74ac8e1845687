#pragma once

#include <QStringList>

// `glyphwell --recognize FILE [--mode text|no-line-breaks|qr] [--language ID]`: reads an
// image the way a capture does after the grab and prints the text. Needs no display.
// Returns the exit status: 0 with a result, 1 when recognition failed, 2 for bad input.
int runRecognizeCommand(const QStringList &arguments);

// Whether the arguments ask for a command-line run (recognition, help or version) rather
// than the desktop program.
bool isCommandLineRun(const QStringList &arguments);
