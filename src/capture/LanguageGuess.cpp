#include "LanguageGuess.h"

#include <QSet>
#include <QStringList>

#include <algorithm>
#include <array>

namespace {

struct LanguageSigns {
    const char *language;
    QSet<QString> words;
    QStringList endings;
    QString letters; // letters that are a strong sign of the language
};

const std::array<LanguageSigns, 5> &languageSigns()
{
    static const std::array<LanguageSigns, 5> signs = { {
        { "fra",
            { "le", "les", "des", "du", "est", "une", "pour", "dans", "sur", "avec", "vous", "pas", "et",
                "au", "aux", "ce", "qui", "ne", "où", "sont", "mise", "jour", "fichier", "nous", "votre",
                "ou", "elle", "mais", "plus", "tout", "très", "cette", "être", "avoir", "fait", "leur", "ces",
                "été", "sans" },
            { "ment", "eaux", "ée", "ées", "és", "té", "ère", "ères", "ique", "iques" },
            QStringLiteral("èêçùûîôœëïÿ") },
        { "deu",
            { "der", "die", "das", "und", "ist", "nicht", "sie", "mit", "den", "dem", "zu", "ein", "eine",
                "zum", "zur", "wurde", "auf", "für", "von", "im", "bitte", "datei", "werden", "vor", "alle",
                "es", "sich" },
            { "ungen", "ung", "heit", "keit", "lich", "sch", "chen", "icht" }, QStringLiteral("äöüßÄÖÜ") },
        { "spa",
            { "el", "los", "las", "del", "que", "una", "por", "para", "con", "se", "es", "al", "y", "su",
                "antes", "desea", "ningún", "ningun", "cuenta", "cambios", "salir", "archivo", "más", "este",
                "esta", "como", "pero", "todo", "menos", "debe", "tiene", "hay", "muy", "sin", "sobre",
                "entre", "cuando" },
            { "ción", "cion", "ciones", "idad", "ado", "ados", "ente" }, QStringLiteral("ñ¿¡Ñ") },
        { "ita",
            { "il", "lo", "gli", "della", "delle", "che", "di", "per", "non", "nel", "sono", "le", "una", "è",
                "più", "cosi", "così", "prima", "stato", "vuoi", "tardi", "questo", "questa", "come", "anche",
                "tutto", "molto", "alla", "dal", "sul", "perché", "perche", "città", "citta", "ci" },
            { "zione", "zioni", "mente", "ità", "ita", "etta", "ello", "oni" }, QStringLiteral("ìò") },
        { "por",
            { "os", "da", "do", "em", "um", "uma", "com", "não", "nao", "as", "no", "na", "ao", "foi",
                "deseja", "sessão", "sessao", "conta", "das", "dos", "mais", "muito", "também", "tambem",
                "seu", "sua", "pelo", "pela", "sem", "são", "sao", "você", "voce" },
            { "ção", "ções", "cao", "coes", "cdes", "cées", "ões", "ão", "eiro", "inho", "ança", "anca" },
            QStringLiteral("ãõÃÕ") },
    } };
    return signs;
}

} // namespace

std::optional<QString> guessLatinLanguage(const std::vector<RecognizedLine> &lines)
{
    const auto &signs = languageSigns();
    std::array<int, 5> scores {};
    for (const RecognizedLine &line : lines) {
        for (const RecognizedWord &word : line.words) {
            QString letters = word.text.toLower();
            while (!letters.isEmpty() && !letters.front().isLetter())
                letters.remove(0, 1);
            while (!letters.isEmpty() && !letters.back().isLetter())
                letters.chop(1);
            if (letters.isEmpty())
                continue;
            for (size_t l = 0; l < signs.size(); ++l) {
                scores[l] += signs[l].words.contains(letters) ? 2 : 0;
                scores[l] += letters.size() > 4
                        && std::any_of(signs[l].endings.begin(), signs[l].endings.end(),
                            [&](const QString &ending) { return letters.endsWith(ending); })
                    ? 1
                    : 0;
                scores[l] += std::any_of(letters.begin(), letters.end(),
                                 [&](QChar c) { return signs[l].letters.contains(c); })
                    ? 3
                    : 0;
            }
        }
    }
    // One language must stand out: a sign or two shared by several says nothing.
    std::array<size_t, 5> order { 0, 1, 2, 3, 4 };
    std::sort(order.begin(), order.end(), [&](size_t a, size_t b) { return scores[a] > scores[b]; });
    const int best = scores[order[0]];
    const int second = scores[order[1]];
    if (best < 3 || best < second + 2)
        return std::nullopt;
    return QString::fromLatin1(signs[order[0]].language);
}
