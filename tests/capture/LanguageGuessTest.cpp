#include "capture/LanguageGuess.h"

#include <QStringList>
#include <gtest/gtest.h>

namespace {

std::vector<RecognizedLine> reading(const QString &text)
{
    RecognizedLine line;
    for (const QString &word : text.split(QLatin1Char(' '), Qt::SkipEmptyParts))
        line.words.push_back({ word, {}, {}, 0.9f });
    return { line };
}

} // namespace

// What the English model made of screen snippets in other languages (near misses and all),
// and text that must stay with English or the script's model because it shows no language.
TEST(LanguageGuess, TellsTheLanguageFromAnEnglishReading)
{
    const struct {
        const char *english;
        const char *language; // nullptr: no guess
    } cases[] = {
        { "Voulez-vous enregistrer les modifications avant de fermer le document ?", "fra" },
        { "Derniére mise a jour : 12 février 2024", "fra" },
        { "GréBere Anderungen werden ibernommen.", "deu" },
        { "Datei Bearbeiten Ansicht Einfugen Format", "deu" },
        { "iDesea guardar los cambios antes de salir?", "spa" },
        { "El afo pasado la compania crecid un 12 %. Senales de crecimiento en Espana.", "spa" },
        { "Vuoi salvare le modifiche prima di uscire?", "ita" },
        { "Impostazioni di sicurezza avanzate", "ita" },
        { "N§o foi possivel ligar ao servidor.", "por" },
        { "Informagoes da conta e preferéncias", "por" },
        { "The quick brown fox jumps over the lazy dog.", nullptr },
        { "Meeting moved to Thursday, 14:30 in room B2. Bring the signed forms (two copies) and your badge.",
            nullptr },
        { "if err != nil { return fmt.Errorf(\"read: %w\", err) }", nullptr },
        { "$ tar -xzf archive.tar.gz -C /tmp $ ls -l /tmp/archive", nullptr },
        { "https://docs.example.com/guide/install.html", nullptr },
        { "", nullptr },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.english);
        const auto guessed = guessLatinLanguage(reading(QString::fromUtf8(c.english)));
        if (c.language)
            EXPECT_EQ(guessed.value_or(QStringLiteral("none")), QLatin1String(c.language));
        else
            EXPECT_FALSE(guessed.has_value()) << guessed->toStdString();
    }
}
