// Renders the screen-text snippets of bench/data/screen: interface text as it looks in a
// tight capture, with the exact text beside each image. The output is committed, so the
// accuracy gate does not depend on the fonts a machine has; run this again only to change
// the set (fonts-dejavu-core and fonts-wqy-microhei give the same pixels on Debian 12).
// The same program renders bench/data/kinds, whole selections as people make them
// (GenerateCaptureKinds.cpp).
//
// usage: snippet_generator [screen] OUTPUT_DIRECTORY
//        snippet_generator kinds OUTPUT_DIRECTORY

#include "SnippetWriter.h"

#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>

#include <cstdio>

namespace {

struct Theme {
    const char *name;
    const char *group; // light, dark, coloured
    QColor foreground;
    QColor background;
};

const Theme themes[] = {
    { "black-on-white", "light", QColor(0, 0, 0), QColor(255, 255, 255) },
    { "grey-on-light", "light", QColor(51, 51, 51), QColor(240, 240, 240) },
    { "solarized-light", "coloured", QColor(101, 123, 131), QColor(253, 246, 227) },
    { "material-dark", "dark", QColor(232, 234, 237), QColor(0x20, 0x21, 0x24) },
    { "github-dark", "dark", QColor(0xc9, 0xd1, 0xd9), QColor(0x0d, 0x11, 0x17) },
    { "white-on-blue", "coloured", QColor(255, 255, 255), QColor(43, 87, 151) },
    { "green-terminal", "dark", QColor(80, 250, 123), QColor(40, 42, 54) },
};

enum class Kind { prose, ui, code, terminal, table, url };

const char *kindName(Kind kind)
{
    switch (kind) {
    case Kind::prose:
        return "prose";
    case Kind::ui:
        return "ui";
    case Kind::code:
        return "code";
    case Kind::terminal:
        return "terminal";
    case Kind::table:
        return "table";
    case Kind::url:
        return "url";
    }
    return "";
}

struct Text {
    Kind kind;
    QStringList lines;
};

struct Language {
    const char *identifier; // the application's language identifier
    bool eastAsian;
    QList<Text> texts;
};

QList<Language> languages()
{
    const auto s = [](const char *utf8) { return QString::fromUtf8(utf8); };
    return {
        { "en-US", false,
            {
                { Kind::prose,
                    { s("The quick brown fox jumps over the lazy dog."),
                        s("Your changes have been saved. You can close this window now.") } },
                { Kind::prose, { s("Please restart the application to finish installing updates.") } },
                { Kind::prose,
                    { s("Meeting moved to Thursday, 14:30 in room B2."),
                        s("Bring the signed forms (two copies) and your badge.") } },
                { Kind::ui, { s("Total amount due: $1,284.50 (incl. VAT)") } },
                { Kind::ui, { s("File Edit View Selection Go Run Terminal Help") } },
                { Kind::ui, { s("Error: connection refused at 10.0.4.17:8443") } },
                { Kind::ui,
                    { s("We couldn't find any results for \"invoice 2024\"."),
                        s("Try a different search term.") } },
                { Kind::ui,
                    { s("Settings"), s("Appearance"), s("Notifications"), s("Privacy & Security"),
                        s("Keyboard Shortcuts") } },
                { Kind::code, { s("x = (a + b) * c"), s("y = x / 2 - 1") } },
                { Kind::code, { s("for (int i = 0; i < 10; ++i) {"), s("    total += values[i];"), s("}") } },
                { Kind::code,
                    { s("if err != nil {"), s("    return fmt.Errorf(\"read: %w\", err)"), s("}") } },
                { Kind::code, { s("def area(r):"), s("    return 3.14159 * r ** 2") } },
                { Kind::code, { s("const url = \"https://www.example.com/api/v2\";") } },
                { Kind::code, { s("#include <stdio.h>"), s("int main(void) { return 0; }") } },
                { Kind::terminal, { s("$ tar -xzf archive.tar.gz -C /tmp"), s("$ ls -l /tmp/archive") } },
                { Kind::terminal,
                    { s("user@host:~/src$ git status --short"), s(" M src/main.cpp"), s("?? build/") } },
                { Kind::terminal, { s("10. Run make -j2 again"), s("11. Check the log for -x flags") } },
                { Kind::table,
                    { s("PID   USER    %CPU  COMMAND"), s("1042  alice   12.5  firefox"),
                        s("2211  bob      3.0  python3"), s("3907  root     0.7  sshd") } },
                { Kind::table,
                    { s("Name        Size    Modified"), s("report.pdf  1.2 MB  2024-03-01"),
                        s("notes.txt   4 KB    2024-02-17") } },
                { Kind::table,
                    { s("Filesystem  Size  Used  Avail  Use%"), s("/dev/sda1    50G   21G    27G   44%") } },
                { Kind::url, { s("www.example.org") } },
                { Kind::url, { s("https://docs.example.com/guide/install.html") } },
                { Kind::url, { s("/home/alice/.config/app/settings.ini") } },
                { Kind::url, { s("user.name@example.com"), s("www.example.com") } },
            } },
        { "fr-FR", false,
            {
                { Kind::prose, { s("Le fichier a été déplacé dans la corbeille.") } },
                { Kind::prose,
                    { s("Voulez-vous enregistrer les modifications"), s("avant de fermer le document ?") } },
                { Kind::ui, { s("Paramètres avancés de sécurité") } },
                { Kind::ui, { s("Fichier Édition Affichage Insertion Format") } },
                { Kind::ui, { s("Dernière mise à jour : 12 février 2024") } },
                { Kind::prose, { s("Où se trouve la bibliothèque municipale ?") } },
            } },
        { "de-DE", false,
            {
                { Kind::prose, { s("Größere Änderungen werden übernommen.") } },
                { Kind::prose, { s("Möchten Sie die Datei wirklich löschen?") } },
                { Kind::ui, { s("Datei Bearbeiten Ansicht Einfügen Format") } },
                { Kind::prose,
                    { s("Die Verbindung zum Server wurde unterbrochen."),
                        s("Bitte versuchen Sie es später erneut.") } },
                { Kind::ui, { s("Schließen Sie alle Fenster vor dem Neustart.") } },
                { Kind::ui, { s("Übersicht der letzten Überweisungen") } },
            } },
        { "es-ES", false,
            {
                { Kind::prose, { s("¿Desea guardar los cambios antes de salir?") } },
                { Kind::prose, { s("La contraseña debe tener al menos ocho caracteres.") } },
                { Kind::ui, { s("Archivo Edición Ver Insertar Formato") } },
                { Kind::ui, { s("No se encontró ningún resultado.") } },
                { Kind::ui, { s("Configuración de la cuenta y privacidad") } },
                { Kind::prose,
                    { s("El año pasado la compañía creció un 12 %."),
                        s("Señales de crecimiento en España.") } },
            } },
        { "it-IT", false,
            {
                { Kind::prose, { s("Vuoi salvare le modifiche prima di uscire?") } },
                { Kind::prose, { s("Il file è stato spostato nel cestino.") } },
                { Kind::ui, { s("Impostazioni di sicurezza avanzate") } },
                { Kind::prose, { s("Più tardi riceverai una notifica.") } },
                { Kind::prose, { s("Perché la connessione è così lenta?") } },
                { Kind::ui, { s("Città, università e attività"), s("Modifica Visualizza Inserisci") } },
            } },
        { "pt-PT", false,
            {
                { Kind::prose, { s("Deseja guardar as alterações antes de sair?") } },
                { Kind::prose, { s("Não foi possível ligar ao servidor.") } },
                { Kind::ui, { s("Configurações de segurança avançadas") } },
                { Kind::prose, { s("A sessão expirou. Inicie sessão novamente.") } },
                { Kind::ui, { s("Informações da conta e preferências") } },
                { Kind::ui, { s("Ação concluída com êxito"), s("Ficheiro Editar Ver Inserir") } },
            } },
        { "ja-JP", true,
            {
                { Kind::ui, { s("設定を開いてください") } },
                { Kind::prose, { s("日本語のテキストを読み取ります") } },
                { Kind::ui, { s("保存しますか？") } },
                { Kind::ui, { s("ファイルが見つかりません") } },
                { Kind::prose, { s("ネットワークに接続できません"), s("もう一度お試しください") } },
                { Kind::prose, { s("新しいバージョンが利用可能です") } },
            } },
        { "zh-Hans", true,
            {
                { Kind::prose, { s("简体中文屏幕文字") } },
                { Kind::prose, { s("中文文本识别测试") } },
                { Kind::ui, { s("请输入密码") } },
                { Kind::ui, { s("文件已保存到桌面") } },
                { Kind::prose, { s("网络连接已断开"), s("请检查您的设置") } },
                { Kind::ui, { s("是否要删除这个文件") } },
            } },
        { "ko-KR", true,
            {
                { Kind::prose, { s("화면의 글자를 읽습니다") } },
                { Kind::ui, { s("한국어 텍스트 인식") } },
                { Kind::ui, { s("설정을 저장했습니다") } },
                { Kind::ui, { s("비밀번호를 입력하세요") } },
                { Kind::prose, { s("파일을 찾을 수 없습니다"), s("다시 시도해 주세요") } },
                { Kind::prose, { s("네트워크에 연결할 수 없습니다") } },
            } },
    };
}

struct Variant {
    int pixelSize;
    int scale; // 2: a HiDPI screen, everything drawn twice as large
    const Theme *theme;
    QString family;
    const char *fontGroup;
    int margin;
};

QImage render(const QStringList &lines, const Variant &variant)
{
    QFont font(variant.family);
    font.setPixelSize(variant.pixelSize * variant.scale);
    font.setHintingPreference(QFont::PreferFullHinting);
    const QFontMetrics metrics(font);
    int width = 0;
    for (const QString &line : lines)
        width = std::max(width, metrics.horizontalAdvance(line));
    const int lineHeight = metrics.lineSpacing();
    const int margin = variant.margin * variant.scale;
    QImage image(width + 2 * margin, lineHeight * int(lines.size()) + 2 * margin, QImage::Format_RGB32);
    image.fill(variant.theme->background);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::TextAntialiasing);
    painter.setFont(font);
    painter.setPen(variant.theme->foreground);
    for (int i = 0; i < lines.size(); ++i)
        painter.drawText(QPoint(margin, margin + metrics.ascent() + i * lineHeight), lines[i]);
    return image;
}

} // namespace

int generateCaptureKinds(const QString &directory);

namespace {

int generateScreenSnippets(const QString &directory)
{
    SnippetWriter writer(directory,
        { QStringLiteral("file"), QStringLiteral("language"), QStringLiteral("size"), QStringLiteral("scale"),
            QStringLiteral("theme"), QStringLiteral("theme_group"), QStringLiteral("font"),
            QStringLiteral("kind"), QStringLiteral("lines") });
    if (!writer.isOpen())
        return 1;

    const int latinSizes[] = { 9, 10, 11, 12, 13, 14, 16, 20, 10, 11, 12, 15 };
    const int eastAsianSizes[] = { 12, 13, 14, 16, 18, 20, 12, 15 };
    int counter = 0;
    for (const Language &language : languages()) {
        int n = 0;
        for (const Text &text : language.texts) {
            // Each text is rendered twice, in two different looks, so every language meets
            // every theme group and both scales.
            for (int copy = 0; copy < 2; ++copy, ++n, ++counter) {
                Variant variant;
                const bool monospaced
                    = text.kind == Kind::code || text.kind == Kind::terminal || text.kind == Kind::table;
                if (language.eastAsian) {
                    variant.family = QStringLiteral("WenQuanYi Micro Hei");
                    variant.fontGroup = "cjk-sans";
                    variant.pixelSize = eastAsianSizes[n % std::size(eastAsianSizes)];
                } else {
                    if (monospaced) {
                        variant.family = QStringLiteral("DejaVu Sans Mono");
                        variant.fontGroup = "mono";
                    } else if ((n + copy) % 3 == 2) {
                        variant.family = QStringLiteral("DejaVu Serif");
                        variant.fontGroup = "serif";
                    } else if (text.kind == Kind::url && copy == 1) {
                        variant.family = QStringLiteral("DejaVu Sans Mono");
                        variant.fontGroup = "mono";
                    } else {
                        variant.family = QStringLiteral("DejaVu Sans");
                        variant.fontGroup = "sans";
                    }
                    variant.pixelSize = latinSizes[(n * 5 + copy * 7) % std::size(latinSizes)];
                }
                variant.theme = &themes[(counter * 3 + copy) % std::size(themes)];
                variant.scale = (counter % 5 == 4) ? 2 : 1;
                variant.margin = 2 + (counter * 7) % 7;

                const QString base = QStringLiteral("%1_%2_%3")
                                         .arg(QLatin1String(language.identifier))
                                         .arg(n, 2, 10, QLatin1Char('0'))
                                         .arg(QLatin1String(kindName(text.kind)));
                if (!writer.write(base, render(text.lines, variant), text.lines.join(QLatin1Char('\n')),
                        { QLatin1String(language.identifier), QString::number(variant.pixelSize),
                            QString::number(variant.scale), QLatin1String(variant.theme->name),
                            QLatin1String(variant.theme->group), QLatin1String(variant.fontGroup),
                            QLatin1String(kindName(text.kind)), QString::number(text.lines.size()) }))
                    return 1;
            }
        }
    }
    std::printf("%d snippets written to %s\n", writer.count(), qPrintable(writer.path()));
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const QStringList arguments = app.arguments().mid(1);
    if (arguments.size() == 1)
        return generateScreenSnippets(arguments[0]);
    if (arguments.size() == 2 && arguments[0] == u"screen")
        return generateScreenSnippets(arguments[1]);
    if (arguments.size() == 2 && arguments[0] == u"kinds")
        return generateCaptureKinds(arguments[1]);
    std::fprintf(stderr, "usage: %s [screen|kinds] OUTPUT_DIRECTORY\n", argv[0]);
    return 2;
}
