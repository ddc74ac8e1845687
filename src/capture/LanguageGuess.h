#pragma once

#include "TextLineAssembly.h"

#include <QString>

#include <optional>
#include <vector>

// Which Latin-script language a reading made with the English model is in, told from the
// little words every sentence of a language has ("les", "der", "los", "della", "não"),
// the endings of its words ("-ción", "-zione", "-ungen") and the letters only some of
// them use ("ñ", "ß", "ã"). English's reading of these is good enough for that: it gets
// the short words right and turns the rest into near misses.
//
// Returns the Tesseract language ("fra", "deu", "spa", "ita", "por"), or nothing when the
// text shows no clear sign of one of them.
std::optional<QString> guessLatinLanguage(const std::vector<RecognizedLine> &lines);
