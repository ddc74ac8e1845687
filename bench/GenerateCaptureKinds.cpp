// Renders bench/data/kinds: whole selections as people make them, not single lines. Articles
// in columns, a sidebar beside its page, tables, paragraphs, code and terminals, chat windows,
// East Asian paragraphs, small interface text (also zoomed in), codes alone and beside text,
// and selections without any text, in light and dark, at 1x and at device pixel ratio 2. Each
// image comes with the text a reader expects from it: flows read whole one after the other,
// table rows with their cells joined by a tab, codes' payloads after the text, nothing for no
// text.
//
// Fonts and texts differ from the screen snippets on purpose, so tuning for one set shows on
// the other. The fonts are in scripts/install-deps' "regenerate" group; the PNGs are
// committed, so running the benchmark or the tests does not need them.

#include "SnippetWriter.h"

#include <ZXing/BarcodeFormat.h>
#include <ZXing/BitMatrix.h>
#include <ZXing/CharacterSet.h>
#include <ZXing/MultiFormatWriter.h>

#include <QFont>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>

#include <cmath>
#include <cstdio>
#include <functional>

namespace {

QString u8(const char *text)
{
    return QString::fromUtf8(text);
}

struct Look {
    const char *name;
    QColor window, text, muted, accent, panel, rule;
};

const Look lightLook { "light", QColor(0xff, 0xff, 0xff), QColor(0x1f, 0x23, 0x28), QColor(0x65, 0x6d, 0x76),
    QColor(0x09, 0x69, 0xda), QColor(0xf3, 0xf4, 0xf6), QColor(0xd0, 0xd7, 0xde) };
const Look darkLook { "dark", QColor(0x1e, 0x1f, 0x22), QColor(0xe3, 0xe5, 0xe8), QColor(0x9d, 0xa0, 0xa6),
    QColor(0x6c, 0xb6, 0xff), QColor(0x2b, 0x2d, 0x31), QColor(0x44, 0x47, 0x4d) };

// A large page drawn in logical pixels at the device pixel ratio, cut to what was drawn on it
// plus a margin, as a selection drawn around the content would be.
class Canvas {
public:
    Canvas(int scale, const QColor &background)
        : m_scale(scale)
        , m_image(QSize(1500, 1100) * scale, QImage::Format_RGB32)
    {
        m_image.setDevicePixelRatio(scale);
        m_image.fill(background);
        m_painter.begin(&m_image);
        m_painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    }

    QPainter &painter() { return m_painter; }
    void mark(const QRectF &area) { m_used = m_used.isNull() ? area : m_used.united(area); }

    // Draws one line with its top at y; returns its advance.
    qreal text(qreal x, qreal y, const QString &line, const QFont &font, const QColor &colour)
    {
        const QFontMetricsF metrics(font);
        m_painter.setFont(font);
        m_painter.setPen(colour);
        m_painter.drawText(QPointF(x, y + metrics.ascent()), line);
        const qreal width = metrics.horizontalAdvance(line);
        mark(QRectF(x, y, width, metrics.height()));
        return width;
    }

    void fill(const QRectF &area, const QColor &colour, qreal radius = 0)
    {
        m_painter.setPen(Qt::NoPen);
        m_painter.setBrush(colour);
        m_painter.drawRoundedRect(area, radius, radius);
        mark(area);
    }

    QImage cropped(qreal margin)
    {
        m_painter.end();
        const QRectF area = m_used.adjusted(-margin, -margin, margin, margin);
        const QRect pixels
            = QRect(int(std::floor(area.left() * m_scale)), int(std::floor(area.top() * m_scale)),
                int(std::ceil(area.width() * m_scale)), int(std::ceil(area.height() * m_scale)))
                  .intersected(QRect(QPoint(0, 0), m_image.size()));
        QImage result = m_image.copy(pixels);
        result.setDevicePixelRatio(1);
        return result;
    }

private:
    int m_scale;
    QImage m_image;
    QPainter m_painter;
    QRectF m_used;
};

QFont fontOf(const QString &family, int pixelSize, bool bold = false)
{
    QFont font(family);
    font.setPixelSize(pixelSize);
    font.setBold(bold);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

bool isEastAsianWrap(QChar c)
{
    const ushort code = c.unicode();
    return (code >= 0x3000 && code <= 0x9fff) || (code >= 0xff00 && code <= 0xffef);
}

// Greedy wrapping: at spaces, and between any two Chinese or Japanese characters, never
// starting a line with closing punctuation.
QStringList wrapped(const QString &paragraph, const QFont &font, qreal width)
{
    const QFontMetricsF metrics(font);
    QStringList pieces; // each ends where a line may break
    QString piece;
    for (qsizetype i = 0; i < paragraph.size(); ++i) {
        const QChar c = paragraph[i];
        piece += c;
        const QChar next = i + 1 < paragraph.size() ? paragraph[i + 1] : QChar();
        const bool closingNext = QStringLiteral("。、，．！？」）：；”").contains(next);
        if (c == u' ' || (isEastAsianWrap(c) && !closingNext) || (isEastAsianWrap(next) && !closingNext)) {
            pieces.append(piece);
            piece.clear();
        }
    }
    if (!piece.isEmpty())
        pieces.append(piece);
    QStringList lines;
    QString line;
    for (const QString &next : pieces) {
        if (!line.isEmpty() && metrics.horizontalAdvance((line + next).trimmed()) > width) {
            lines.append(line.trimmed());
            line.clear();
        }
        line += next;
    }
    if (!line.trimmed().isEmpty())
        lines.append(line.trimmed());
    return lines;
}

// ---- the texts ------------------------------------------------------------------------

struct Article {
    const char *head;
    QStringList sentences;
};

QList<Article> articles()
{
    return {
        { "Library stays open",
            { u8("The town council voted on Tuesday to keep the old library open through the winter."),
                u8("Volunteers will staff the reading room on weekday evenings, and the heating bill will be "
                   "shared with the school next door."),
                u8("Several residents asked whether the building could also host the weekly farmers' market "
                   "when it rains."),
                u8("A decision on that request is expected before the end of the month.") } },
        { "Seabirds return",
            { u8("Researchers at the coastal station have counted more seabirds this spring than in any year "
                 "since 2011."),
                u8("They credit a ban on fishing near the cliffs, which left more sand eels for the chicks."),
                u8("Puffins returned first, followed two weeks later by razorbills and guillemots."),
                u8("The team plans to fit small trackers to forty birds in June.") } },
        { "Slow bread",
            { u8("Bread dough needs time more than it needs effort."),
                u8("Mix the flour, water and salt, cover the bowl, and leave it for an hour before you fold "
                   "it."),
                u8("Three or four folds, half an hour apart, give the loaf its structure."),
                u8("Bake it hot, with steam for the first twenty minutes, then let it cool before "
                   "slicing.") } },
        { "Night train",
            { u8("The night train from Vienna now stops in Munich at 23:40 instead of midnight."),
                u8("Passengers with sleeper tickets can board from 22:50 at platform 11."),
                u8("Bicycles travel in the front carriage and must be booked in advance."),
                u8("Breakfast is served an hour before arrival in Paris.") } },
        { "Paper invoices",
            { u8("Our quarterly survey asked 1,200 small businesses how they handle invoices."),
                u8("Just over half still print some of them, mostly for customers who pay by bank transfer."),
                u8("Firms that switched to electronic invoices were paid nine days sooner on average."),
                u8("The full results, with a breakdown by region, will be published next week.") } },
        { "Reading a hiking map",
            { u8("A good hiking map shows more than paths and peaks."),
                u8("Look for the springs, the huts that stay open in autumn, and the places where a trail "
                   "crosses a stream without a bridge."),
                u8("After heavy rain those crossings can be dangerous, so plan a second route."),
                u8("Always tell someone where you are going and when you expect to be back.") } },
        { "Museum wing opens",
            { u8("The museum's new wing opens to the public on Saturday morning."),
                u8("Its first exhibition brings together clocks, sundials and navigation instruments from "
                   "four centuries."),
                u8("Entry is free for visitors under eighteen, and guided tours start every hour."),
                u8("The café on the top floor looks out over the harbour.") } },
        { "Water mains replaced",
            { u8("Engineers replaced the last of the old water mains under Market Street this week."),
                u8("Traffic will return to both lanes on Friday, although the bus stop stays closed until "
                   "the pavement is repaired."),
                u8("Residents who noticed low pressure should run a cold tap for a few minutes."),
                u8("If the problem persists, the water company asks them to call its service line.") } },
    };
}

QStringList letters()
{
    return {
        u8("Hi Priya, thanks for sending the slides ahead of Thursday. I moved the budget section to the end "
           "and "
           "shortened the timeline, so the whole talk now fits in twenty minutes. Could you check the "
           "figures on "
           "page 6 before I send it to the board?"),
        u8("Dear customer, your order 48213 has left our warehouse and should reach you within three working "
           "days. "
           "You can follow the parcel with the link in your account. If nobody is home, the courier will "
           "leave a "
           "card with the address of the nearest pickup point."),
        u8("To reset your password, open the link in this message within the next 30 minutes. If you did not "
           "ask "
           "for a new password, you can ignore this email; your account stays as it is."),
        u8("The configuration file is read once at startup. Changes made while the service is running take "
           "effect "
           "after a restart, except for the log level, which is checked every minute. Keep a copy of the "
           "file "
           "before editing it."),
        u8("Welcome to the team, Oskar! Your laptop is ready at the front desk, and your first week starts "
           "with a "
           "short tour of the building at 9:00 on Monday. Bring an ID so that security can print your "
           "badge."),
    };
}

// ---- what every kind shares ---------------------------------------------------------------

struct Sample {
    Sample(QImage image, QString expected, QString language, QString font, int pixelSize, int codes,
        QString layout, int module = 0, QString theme = {})
        : image(std::move(image))
        , expected(std::move(expected))
        , language(std::move(language))
        , font(std::move(font))
        , pixelSize(pixelSize)
        , codes(codes)
        , layout(std::move(layout))
        , module(module)
        , theme(std::move(theme))
    { }
    QImage image;
    QString expected;
    QString language;
    QString font;
    int pixelSize;
    int codes; // payloads at the end of expected
    QString layout;
    int module; // device pixels per module of the codes
    QString theme; // when it is not the variant's
};

struct Variant {
    int index;
    int scale;
    const Look *look;
};

Variant variantOf(int index)
{
    // Light and dark alternate, and every second pair is drawn at twice the pixel density.
    return { index, (index / 2) % 2 == 1 ? 2 : 1, index % 2 == 1 ? &darkLook : &lightLook };
}

QString family(const QFont &font)
{
    return QFontInfo(font).family();
}

// ---- flows: columns, sidebar, paragraphs ------------------------------------------------

Sample columns(const Variant &v, int count)
{
    const QList<Article> all = articles();
    const QStringList serifs { QStringLiteral("Liberation Serif"), QStringLiteral("Open Sans"),
        QStringLiteral("Liberation Sans"), QStringLiteral("Cantarell") };
    const QFont body = fontOf(serifs[v.index % serifs.size()], 13 + v.index % 3);
    const QFont head = fontOf(family(body), body.pixelSize() + 3, true);
    const bool heads = v.index % 3 != 2;
    const qreal width = count == 2 ? 250 + 15 * (v.index % 4) : 190 + 10 * (v.index % 3);
    const qreal gutter = 22 + 6 * (v.index % 3);
    Canvas canvas(v.scale, v.look->window);
    QStringList expected;
    const qreal spacing = QFontMetricsF(body).lineSpacing() * 1.15;
    for (int c = 0; c < count; ++c) {
        const Article &article = all[(v.index * count + c) % all.size()];
        const qreal x = 20 + c * (width + gutter);
        qreal y = 20;
        if (heads) {
            canvas.text(x, y, QLatin1String(article.head), head, v.look->text);
            expected.append(QLatin1String(article.head));
            y += QFontMetricsF(head).lineSpacing() * 1.4;
        }
        for (const QString &line : wrapped(article.sentences.mid(0, 3).join(u' '), body, width)) {
            canvas.text(x, y, line, body, v.look->text);
            expected.append(line);
            y += spacing;
        }
    }
    return { canvas.cropped(12), expected.join(u'\n'), QStringLiteral("en-US"), family(body),
        body.pixelSize(), 0, heads ? QStringLiteral("with heads") : QStringLiteral("no heads") };
}

Sample sidebar(const Variant &v)
{
    const QList<QStringList> menus {
        { u8("Inbox"), u8("Starred"), u8("Snoozed"), u8("Sent"), u8("Drafts"), u8("Archive"), u8("Trash") },
        { u8("Overview"), u8("Installation"), u8("Configuration"), u8("Command line"), u8("Plugins"),
            u8("Troubleshooting") },
        { u8("Home"), u8("News"), u8("Sport"), u8("Business"), u8("Science"), u8("Travel"), u8("Weather") },
        { u8("General"), u8("Display"), u8("Sound"), u8("Network"), u8("Bluetooth"), u8("Printers"),
            u8("About") },
    };
    const QStringList families { QStringLiteral("Cantarell"), QStringLiteral("Liberation Sans"),
        QStringLiteral("Open Sans") };
    const QFont item = fontOf(families[v.index % families.size()], 13 + v.index % 2);
    const QFont body = fontOf(family(item), 14 + (v.index / 2) % 2);
    const QFont head = fontOf(family(item), 19, true);
    const QStringList &menu = menus[v.index % menus.size()];
    Canvas canvas(v.scale, v.look->window);
    QStringList expected;
    const qreal itemHeight = QFontMetricsF(item).height() + 14;
    canvas.fill(QRectF(10, 10, 160, 30 + itemHeight * menu.size()), v.look->panel);
    for (int i = 0; i < menu.size(); ++i) {
        const qreal y = 25 + i * itemHeight;
        if (i == 1)
            canvas.fill(QRectF(16, y - 6, 148, itemHeight - 2),
                v.look->accent.lighter(v.look == &darkLook ? 60 : 180), 6);
        canvas.text(30, y, menu[i], item, v.look->text);
        expected.append(menu[i]);
    }
    const qreal x = 210;
    qreal y = 22;
    const QList<Article> all = articles();
    const Article &article = all[(v.index * 3 + 1) % all.size()];
    canvas.text(x, y, QLatin1String(article.head), head, v.look->text);
    expected.append(QLatin1String(article.head));
    y += QFontMetricsF(head).lineSpacing() * 1.6;
    for (const QString &line : wrapped(article.sentences.join(u' '), body, 400 + 20 * (v.index % 3))) {
        canvas.text(x, y, line, body, v.look->text);
        expected.append(line);
        y += QFontMetricsF(body).lineSpacing() * 1.2;
    }
    return { canvas.cropped(10), expected.join(u'\n'), QStringLiteral("en-US"), family(body),
        body.pixelSize(), 0, QStringLiteral("menu %1").arg(v.index % menus.size()) };
}

Sample paragraph(const Variant &v)
{
    QStringList texts = letters();
    for (const Article &article : articles())
        texts.append(article.sentences.mid(1).join(u' '));
    const QStringList families { QStringLiteral("Liberation Sans"), QStringLiteral("Liberation Serif"),
        QStringLiteral("Open Sans"), QStringLiteral("Cantarell"), QStringLiteral("DejaVu Serif") };
    const int sizes[] = { 11, 12, 13, 14, 15, 16 };
    const QFont body = fontOf(families[v.index % families.size()], sizes[v.index % std::size(sizes)]);
    const QString text = texts[(v.index * 3) % texts.size()];
    // Wide enough for 3 to 8 lines at this size.
    const qreal width = std::clamp(QFontMetricsF(body).horizontalAdvance(text) / 5.0, 260.0, 620.0);
    Canvas canvas(v.scale, v.look->window);
    const QStringList lines = wrapped(text, body, width);
    qreal y = 10;
    for (const QString &line : lines) {
        canvas.text(10, y, line, body, v.look->text);
        y += QFontMetricsF(body).lineSpacing() * (1.1 + 0.1 * (v.index % 3));
    }
    return { canvas.cropped(6 + v.index % 5), lines.join(u'\n'), QStringLiteral("en-US"), family(body),
        body.pixelSize(), 0, QStringLiteral("%1 lines").arg(lines.size()) };
}

// ---- tables ------------------------------------------------------------------------------

struct Grid {
    const char *name;
    QList<QStringList> rows; // the first is the header
    QList<bool> rightAligned;
    bool ruled;
};

QList<Grid> grids()
{
    return {
        { "file list",
            { { u8("Name"), u8("Size"), u8("Modified"), u8("Kind") },
                { u8("budget-2025.ods"), u8("48 KB"), u8("Yesterday"), u8("Spreadsheet") },
                { u8("holiday photos"), u8("12 items"), u8("3 Mar"), u8("Folder") },
                { u8("minutes.odt"), u8("22 KB"), u8("14:05"), u8("Document") },
                { u8("logo final.svg"), u8("9 KB"), u8("28 Feb"), u8("Image") },
                { u8("backup.tar.gz"), u8("1.4 GB"), u8("11 Jan"), u8("Archive") } },
            { false, true, false, false }, false },
        { "spreadsheet",
            { { u8("Region"), u8("Q1"), u8("Q2"), u8("Q3"), u8("Q4") },
                { u8("North"), u8("1,204"), u8("1,388"), u8("1,410"), u8("1,562") },
                { u8("South"), u8("987"), u8("1,020"), u8("1,143"), u8("1,097") },
                { u8("East"), u8("2,315"), u8("2,240"), u8("2,506"), u8("2,731") },
                { u8("West"), u8("764"), u8("802"), u8("851"), u8("913") },
                { u8("Total"), u8("5,270"), u8("5,450"), u8("5,910"), u8("6,303") } },
            { false, true, true, true, true }, true },
        { "settings",
            { { u8("Setting"), u8("Value") }, { u8("Screen lock"), u8("After 5 minutes") },
                { u8("Night light"), u8("Sunset to sunrise") }, { u8("Font scaling"), u8("1.25") },
                { u8("Automatic updates"), u8("Weekly, on Sunday") },
                { u8("Default browser"), u8("Firefox") } },
            { false, false }, false },
        { "price list",
            { { u8("Item"), u8("Qty"), u8("Unit price"), u8("Total") },
                { u8("Printer paper A4"), u8("10"), u8("4.20"), u8("42.00") },
                { u8("Toner cartridge"), u8("2"), u8("61.90"), u8("123.80") },
                { u8("Desk lamp"), u8("3"), u8("18.50"), u8("55.50") },
                { u8("Whiteboard markers"), u8("12"), u8("1.15"), u8("13.80") } },
            { false, true, true, true }, true },
        { "departures",
            { { u8("Time"), u8("Destination"), u8("Platform"), u8("Status") },
                { u8("08:12"), u8("Leipzig Hbf"), u8("4"), u8("On time") },
                { u8("08:25"), u8("Dresden"), u8("7"), u8("+5 min") },
                { u8("08:41"), u8("Hamburg-Altona"), u8("2"), u8("Cancelled") },
                { u8("09:03"), u8("Frankfurt (Main)"), u8("11"), u8("On time") } },
            { false, false, false, false }, false },
    };
}

Sample table(const Variant &v)
{
    const QList<Grid> all = grids();
    const Grid &grid = all[v.index % all.size()];
    const QStringList families { QStringLiteral("Liberation Sans"), QStringLiteral("Open Sans"),
        QStringLiteral("Cantarell"), QStringLiteral("Liberation Serif") };
    const QFont cell = fontOf(families[(v.index / 2) % families.size()], 13 + v.index % 3);
    const QFont header = fontOf(family(cell), cell.pixelSize(), true);
    const QFontMetricsF metrics(header);
    const qsizetype columnCount = grid.rows.front().size();
    QList<qreal> widths(columnCount, 0);
    for (const QStringList &row : grid.rows)
        for (qsizetype c = 0; c < columnCount; ++c)
            widths[c] = std::max(widths[c], metrics.horizontalAdvance(row[c]));
    const qreal padding = grid.ruled ? 12 : 18 + 4 * (v.index % 3);
    const qreal rowHeight = metrics.height() + (grid.ruled ? 10 : 14);
    Canvas canvas(v.scale, v.look->window);
    QStringList expected;
    qreal tableWidth = 0;
    for (qreal w : widths)
        tableWidth += w + 2 * padding;
    for (qsizetype r = 0; r < grid.rows.size(); ++r) {
        const qreal y = 14 + r * rowHeight;
        if (r == 0)
            canvas.fill(QRectF(10, y - 5, tableWidth, rowHeight), v.look->panel);
        else if (!grid.ruled && r % 2 == 0)
            canvas.fill(QRectF(10, y - 5, tableWidth, rowHeight),
                v.look->panel.darker(v.look == &darkLook ? 80 : 103));
        qreal x = 10;
        for (qsizetype c = 0; c < columnCount; ++c) {
            const QString &text = grid.rows[r][c];
            const QFont &font = r == 0 ? header : cell;
            const qreal advance = QFontMetricsF(font).horizontalAdvance(text);
            const qreal left
                = grid.rightAligned[c] && r > 0 ? x + padding + widths[c] - advance : x + padding;
            canvas.text(left, y, text, font, r == 0 ? v.look->muted : v.look->text);
            x += widths[c] + 2 * padding;
        }
        expected.append(grid.rows[r].join(u'\t'));
    }
    if (grid.ruled) {
        QPainter &painter = canvas.painter();
        painter.setPen(QPen(v.look->rule, 1));
        const qreal bottom = 14 + grid.rows.size() * rowHeight - 5;
        for (qsizetype r = 0; r <= grid.rows.size(); ++r)
            painter.drawLine(QPointF(10, 9 + r * rowHeight), QPointF(10 + tableWidth, 9 + r * rowHeight));
        qreal x = 10;
        for (qsizetype c = 0; c <= columnCount; ++c) {
            painter.drawLine(QPointF(x, 9), QPointF(x, bottom));
            if (c < columnCount)
                x += widths[c] + 2 * padding;
        }
    }
    return { canvas.cropped(8), expected.join(u'\n'), QStringLiteral("en-US"), family(cell), cell.pixelSize(),
        0, QLatin1String(grid.name) };
}

// ---- monospaced screens ------------------------------------------------------------------

QList<QStringList> sources()
{
    return {
        { u8("def moving_average(values, window=3):"), u8("    if window <= 0:"),
            u8("        raise ValueError(\"window must be positive\")"), u8("    result = []"),
            u8("    for i in range(len(values) - window + 1):"), u8("        chunk = values[i:i + window]"),
            u8("        result.append(sum(chunk) / window)"), u8("    return result") },
        { u8("static int count_words(const char *text)"), u8("{"), u8("    int words = 0, inside = 0;"),
            u8("    for (; *text; ++text) {"), u8("        if (isspace((unsigned char)*text))"),
            u8("            inside = 0;"), u8("        else if (!inside) {"), u8("            inside = 1;"),
            u8("            ++words;"), u8("        }"), u8("    }"), u8("    return words;"), u8("}") },
        { u8("async function loadUser(id) {"), u8("  const response = await fetch(`/api/users/${id}`);"),
            u8("  if (!response.ok) {"), u8("    throw new Error(`HTTP ${response.status}`);"), u8("  }"),
            u8("  return response.json();"), u8("}") },
        { u8("fn parse_port(text: &str) -> Result<u16, String> {"), u8("    let port: u16 = text"),
            u8("        .trim()"), u8("        .parse()"),
            u8("        .map_err(|e| format!(\"bad port: {e}\"))?;"), u8("    Ok(port)"), u8("}") },
        { u8("services:"), u8("  web:"), u8("    image: nginx:1.25"), u8("    ports:"),
            u8("      - \"8080:80\""), u8("    volumes:"), u8("      - ./site:/usr/share/nginx/html:ro") },
        { u8("SELECT customer_id, SUM(amount) AS total"), u8("FROM payments"),
            u8("WHERE paid_at >= '2024-01-01'"), u8("GROUP BY customer_id"), u8("HAVING SUM(amount) > 500"),
            u8("ORDER BY total DESC;") },
    };
}

QList<QStringList> sessions()
{
    return {
        { u8("maria@lab:~/photos$ ls -l"), u8("total 24"),
            u8("drwxr-xr-x 2 maria maria 4096 Mar  3 09:12 2024"),
            u8("-rw-r--r-- 1 maria maria 1873 Mar  3 09:15 index.html"),
            u8("-rwxr-xr-x 1 maria maria  512 Feb 28 17:40 resize.sh"), u8("maria@lab:~/photos$") },
        { u8("$ ps -eo pid,user,%mem,comm --sort=-%mem | head -5"), u8("    PID USER     %MEM COMMAND"),
            u8("   2318 maria     6.2 chromium"), u8("   1904 maria     3.9 thunderbird"),
            u8("    977 root      1.1 Xorg"), u8("   2561 maria     0.8 gnome-terminal-") },
        { u8("tom@build-07:/srv/app (main)$ git log --oneline -3"),
            u8("4e1d2c9 Fix the retry delay on timeouts"), u8("a07bb31 Add a health check endpoint"),
            u8("93f0e6d Update the base image to bookworm"), u8("tom@build-07:/srv/app (main)$ make check") },
        { u8("$ ping -c 3 192.168.1.1"), u8("PING 192.168.1.1 (192.168.1.1) 56(84) bytes of data."),
            u8("64 bytes from 192.168.1.1: icmp_seq=1 ttl=64 time=0.412 ms"),
            u8("64 bytes from 192.168.1.1: icmp_seq=2 ttl=64 time=0.388 ms"),
            u8("64 bytes from 192.168.1.1: icmp_seq=3 ttl=64 time=0.401 ms") },
        { u8("root@box:~# df -h /home /var"), u8("Filesystem      Size  Used Avail Use% Mounted on"),
            u8("/dev/nvme0n1p3  219G   87G  121G  42% /home"),
            u8("/dev/nvme0n1p2   30G   11G   18G  38% /var"), u8("root@box:~#") },
    };
}

Sample monospaced(const Variant &v, const QStringList &lines, bool terminal)
{
    const QStringList families { QStringLiteral("Liberation Mono"), QStringLiteral("Noto Mono"),
        QStringLiteral("Noto Sans Mono") };
    const QFont font = fontOf(families[(v.index / 2) % families.size()], 12 + (v.index * 3) % 4);
    // Terminals are mostly dark: the light ones are the odd ones out here.
    const bool dark = terminal ? v.index % 3 != 2 : v.look == &darkLook;
    const QColor background = terminal ? (dark ? QColor(0x12, 0x12, 0x12) : QColor(0xfd, 0xf6, 0xe3))
                                       : (dark ? QColor(0x28, 0x2c, 0x34) : QColor(0xfa, 0xfa, 0xfa));
    const QColor foreground = terminal ? (dark ? QColor(0xd0, 0xd0, 0xd0) : QColor(0x58, 0x6e, 0x75))
                                       : (dark ? QColor(0xab, 0xb2, 0xbf) : QColor(0x38, 0x3a, 0x42));
    const QColor prompt = dark ? QColor(0x8a, 0xe2, 0x34) : QColor(0x26, 0x8b, 0xd2);
    Canvas canvas(v.scale, background);
    const qreal lineHeight = QFontMetricsF(font).lineSpacing();
    for (int i = 0; i < lines.size(); ++i) {
        const QString &line = lines[i];
        const qsizetype promptEnd = line.indexOf(QRegularExpression(QStringLiteral("[$#] ")));
        const bool hasPrompt = terminal && (line.endsWith(u'$') || line.endsWith(u'#') || promptEnd >= 0);
        if (hasPrompt && promptEnd >= 0) {
            // The prompt in its own colour, the command after it, as shells draw them.
            const QString head = line.left(promptEnd + 2);
            const qreal w = canvas.text(10, 10 + i * lineHeight, head, font, prompt);
            canvas.text(10 + w, 10 + i * lineHeight, line.mid(promptEnd + 2), font, foreground);
        } else {
            canvas.text(10, 10 + i * lineHeight, line, font, hasPrompt ? prompt : foreground);
        }
    }
    const QString theme = dark ? QStringLiteral("dark") : QStringLiteral("light");
    return { canvas.cropped(8), lines.join(u'\n'), QStringLiteral("en-US"), family(font), font.pixelSize(), 0,
        terminal ? QStringLiteral("terminal") : QStringLiteral("editor"), 0, theme };
}

// ---- chat ----------------------------------------------------------------------------------

struct Message {
    const char *name; // empty: the user's own message, drawn on the right
    const char *time;
    const char *text;
};

QList<QList<Message>> conversations()
{
    return {
        { { "Lena", "09:14", "Are we still on for lunch tomorrow?" },
            { "", "09:16", "Yes! 12:30 at the Thai place?" },
            { "Lena", "09:17", "Perfect, I'll book a table for three. Sam is coming too." },
            { "", "09:17", "Great, see you there" } },
        { { "Arjun", "14:02", "The staging deploy failed again, looks like a missing environment variable." },
            { "Mei", "14:05", "I added DATABASE_URL to the secrets an hour ago, can you retry?" },
            { "Arjun", "14:11", "Retrying now. It's green, thanks!" } },
        { { "Mum", "18:40", "Did you land safely?" }, { "", "18:52", "Just landed, waiting for my bag" },
            { "Mum", "18:53", "Send a photo of the view from the hotel when you get there" } },
        { { "Tomas (Support)", "10:03", "Hi, I'm Tomas from support. How can I help you today?" },
            { "", "10:04", "My invoice from March shows the wrong address." },
            { "Tomas (Support)", "10:06",
                "Sorry about that. I've corrected it and sent a new copy to your email." } },
    };
}

Sample chat(const Variant &v)
{
    const QList<QList<Message>> all = conversations();
    const QList<Message> &conversation = all[v.index % all.size()];
    const QStringList families { QStringLiteral("Open Sans"), QStringLiteral("Cantarell"),
        QStringLiteral("Liberation Sans") };
    const QFont body = fontOf(families[(v.index / 2) % families.size()], 14);
    const QFont name = fontOf(family(body), 12, true);
    const QFont time = fontOf(family(body), 11);
    const qreal windowWidth = 460;
    const qreal bubbleWidth = 270;
    Canvas canvas(v.scale, v.look->window);
    canvas.mark(QRectF(0, 0, windowWidth, 10));
    QStringList expected;
    qreal y = 14;
    const QColor theirs = v.look == &darkLook ? QColor(0x3a, 0x3b, 0x3f) : QColor(0xe9, 0xe9, 0xeb);
    const QColor mine = v.look == &darkLook ? QColor(0x1f, 0x4f, 0x8a) : QColor(0x0b, 0x6c, 0xff);
    for (const Message &message : conversation) {
        const bool own = message.name[0] == 0;
        const QString who = own ? QStringLiteral("You") : QString::fromUtf8(message.name);
        const QStringList lines = wrapped(QString::fromUtf8(message.text), body, bubbleWidth - 24);
        qreal widest = 0;
        for (const QString &line : lines)
            widest = std::max(widest, QFontMetricsF(body).horizontalAdvance(line));
        const qreal bubble = widest + 24;
        const qreal left = own ? windowWidth - 12 - bubble : 12;
        // The name and time above the bubble, separated by a gap a reader sees as one space.
        const QString timeText = QString::fromUtf8(message.time);
        const qreal nameWidth = QFontMetricsF(name).horizontalAdvance(who);
        const qreal headWidth = nameWidth + 8 + QFontMetricsF(time).horizontalAdvance(timeText);
        const qreal headLeft = own ? windowWidth - 14 - headWidth : 14;
        canvas.text(headLeft, y, who, name, v.look->text);
        canvas.text(headLeft + nameWidth + 8, y + 1, timeText, time, v.look->muted);
        expected.append(who + u' ' + timeText);
        y += QFontMetricsF(name).lineSpacing() + 4;
        const qreal lineHeight = QFontMetricsF(body).lineSpacing();
        canvas.fill(QRectF(left, y, bubble, lines.size() * lineHeight + 16), own ? mine : theirs, 12);
        for (int i = 0; i < lines.size(); ++i) {
            canvas.text(
                left + 12, y + 8 + i * lineHeight, lines[i], body, own ? QColor(Qt::white) : v.look->text);
            expected.append(lines[i]);
        }
        y += lines.size() * lineHeight + 16 + 12;
    }
    return { canvas.cropped(8), expected.join(u'\n'), QStringLiteral("en-US"), family(body), body.pixelSize(),
        0, QStringLiteral("conversation %1").arg(v.index % all.size()) };
}

// ---- East Asian paragraphs -----------------------------------------------------------------

struct EastAsian {
    const char *kind;
    const char *language;
    QStringList families;
    QStringList paragraphs;
};

QList<EastAsian> eastAsian()
{
    return {
        { "ja", "ja-JP",
            { QStringLiteral("IPAPGothic"), QStringLiteral("IPAPMincho"), QStringLiteral("IPAGothic") },
            { u8("今日は朝から雨が降っています。駅までの道が混んでいたので、いつもより早く家を出ました。午後"
                 "には晴れるという予報なので、帰りは歩いて帰るつもりです。"),
                u8("新しいノートパソコンを買いました。Wi-"
                   "Fiの設定は五分ほどで終わり、古いパソコンのデータもすぐに移せました。画面が明るくて、文字"
                   "がとても読みやすいです。"),
                u8("2024年の春に、京都で小さな写真展を開きました。三日間で三百人以上の方に来ていただき、本当"
                   "にうれしかったです。次は秋に大阪で開く予定です。"),
                u8("このアプリでは、メールアドレスとパスワードを入力してログインします。パスワードを忘れた場"
                   "合は、画面の下にあるリンクから再設定してください。"),
                u8("図書館は月曜日が休館日です。本の返却は入口の横にあるポストでいつでもできます。予約した本"
                   "は、届いてから一週間受け取ることができます。"),
                u8("会議の資料は Google "
                   "ドライブに保存しました。修正があれば、金曜日までにコメントを書いてください。よろしくお願"
                   "いします。") } },
        { "zh", "zh-Hans", { QStringLiteral("Droid Sans Fallback"), QStringLiteral("AR PL UMing CN") },
            { u8("今天下午三点，我们在三楼会议室讨论明年的计划。请大家提前阅读附件中的报告，并准备好自己的问"
                 "题。会议大约需要一个小时。"),
                u8("这款手机支持5G网络和Wi-Fi "
                   "6，电池可以使用一整天。屏幕在阳光下也看得很清楚，拍照效果比上一代更好。"),
                u8("2024年，这座城市新建了十二个公园和三条自行车道。周末的时候，很多家庭会带孩子去公园散步、"
                   "放风筝。"),
                u8("如果您忘记了密码，请点击登录页面下方的链接。系统会向您的邮箱发送一封邮件，按照邮件中的步"
                   "骤即可重新设置密码。"),
                u8("图书馆每周一闭馆。借阅的图书可以在网上续借两次，每次延长十四天。逾期归还的图书需要支付少"
                   "量罚款。"),
                u8("我们用 Python "
                   "编写了这个小工具，它可以自动整理文件夹里的照片，并按照拍摄日期分类保存。") } },
        { "ko", "ko-KR",
            { QStringLiteral("NanumGothic"), QStringLiteral("NanumMyeongjo"),
                QStringLiteral("NanumBarunGothic") },
            { u8("오늘 아침에는 비가 많이 와서 버스가 늦게 도착했습니다. 회사에 조금 늦었지만 회의는 "
                 "제시간에 시작할 수 있었습니다."),
                u8("새 노트북을 샀는데 Wi-Fi 설정이 아주 쉬웠습니다. 예전 컴퓨터의 파일도 한 시간 만에 모두 "
                   "옮겼습니다."),
                u8("2024년 여름에 가족과 함께 제주도로 여행을 갔습니다. 바다가 정말 맑았고 음식도 "
                   "맛있었습니다. 내년에도 다시 가고 싶습니다."),
                u8("비밀번호를 잊어버린 경우에는 로그인 화면 아래에 있는 링크를 눌러 주세요. 등록된 이메일로 "
                   "재설정 안내를 보내 드립니다."),
                u8("도서관은 매주 월요일에 쉽니다. 빌린 책은 입구 옆에 있는 반납함에 언제든지 넣을 수 "
                   "있습니다."),
                u8("회의 자료는 공유 폴더에 올려 두었습니다. 수정할 내용이 있으면 금요일까지 알려 주시기 "
                   "바랍니다.") } },
    };
}

Sample eastAsianParagraph(const Variant &v, const EastAsian &set)
{
    const QFont font = fontOf(set.families[(v.index / 2) % set.families.size()], 14 + (v.index % 3) * 2);
    const QString text = set.paragraphs[v.index % set.paragraphs.size()];
    // Three to six lines.
    const qreal width = std::max(QFontMetricsF(font).horizontalAdvance(text) / (3.4 + v.index % 3), 200.0);
    const QStringList lines = wrapped(text, font, width);
    Canvas canvas(v.scale, v.look->window);
    for (int i = 0; i < lines.size(); ++i)
        canvas.text(10, 10 + i * QFontMetricsF(font).lineSpacing() * 1.25, lines[i], font, v.look->text);
    return { canvas.cropped(8), lines.join(u'\n'), QLatin1String(set.language), family(font),
        font.pixelSize(), 0, QStringLiteral("%1 lines").arg(lines.size()) };
}

// ---- small interface text ------------------------------------------------------------------

Sample small(int index)
{
    const QList<QStringList> sets {
        { u8("Show hidden files"), u8("Sort by: Date modified"), u8("Open with Text Editor"),
            u8("Move to Trash") },
        { u8("Last synced 4 minutes ago"), u8("Storage: 12.4 GB of 15 GB used"), u8("Manage subscription") },
        { u8("Battery: 83% (2:41 remaining)"), u8("Wi-Fi: HomeNet-5G"), u8("Bluetooth: Off"),
            u8("Do not disturb until 07:00") },
        { u8("Remember me on this device"), u8("Forgot your password?"), u8("Create an account") },
        // The second sixteen: other strings in other fonts.
        { u8("Auto-save every 5 minutes"), u8("Restore previous session"), u8("Clear browsing data") },
        { u8("Printer: Ready"), u8("Paper tray 2 is empty"), u8("Ink level 35%"), u8("Print test page") },
        { u8("Calendar sync failed"), u8("Retry in 10 seconds"), u8("View details") },
        { u8("Zoom: 125%"), u8("Page 4 of 19"), u8("Fit to width"), u8("Rotate clockwise") },
    };
    const QStringList families = index < 16
        ? QStringList { QStringLiteral("Liberation Sans"), QStringLiteral("Open Sans"),
              QStringLiteral("Cantarell"), QStringLiteral("Liberation Serif") }
        : QStringList { QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Serif"),
              QStringLiteral("DejaVu Sans Condensed"), QStringLiteral("Open Sans") };
    const int pixelSize = 8 + index % 4;
    const QStringList &lines = sets[(index / 4) % sets.size()];
    const QFont font = fontOf(families[(index + index / 4) % families.size()], pixelSize);
    const Look &look = (index + index / 4) % 2 ? darkLook : lightLook;
    Canvas canvas(1, look.window);
    const qreal lineHeight = QFontMetricsF(font).lineSpacing() + 4;
    for (int i = 0; i < lines.size(); ++i)
        canvas.text(6, 6 + i * lineHeight, lines[i], font, look.text);
    Sample sample { canvas.cropped(4), lines.join(u'\n'), QStringLiteral("en-US"), family(font), pixelSize, 0,
        QStringLiteral("%1 px").arg(pixelSize) };
    return sample;
}

// ---- codes ---------------------------------------------------------------------------------

struct Code {
    ZXing::BarcodeFormat format;
    QString payload;
};

bool isLinear(ZXing::BarcodeFormat format)
{
    return format == ZXing::BarcodeFormat::Code128 || format == ZXing::BarcodeFormat::EAN13;
}

const char *formatName(ZXing::BarcodeFormat format)
{
    switch (format) {
    case ZXing::BarcodeFormat::QRCode:
        return "QR";
    case ZXing::BarcodeFormat::DataMatrix:
        return "DataMatrix";
    case ZXing::BarcodeFormat::Aztec:
        return "Aztec";
    case ZXing::BarcodeFormat::PDF417:
        return "PDF417";
    case ZXing::BarcodeFormat::Code128:
        return "Code128";
    case ZXing::BarcodeFormat::EAN13:
        return "EAN13";
    default:
        return "other";
    }
}

// The code at `module` device pixels per module with a quiet zone of `quiet` modules, dark on
// light; a linear code gets bars `barHeight` logical pixels tall.
QImage codeImage(const Code &code, int module, int quiet, int barHeight, int scale)
{
    ZXing::MultiFormatWriter writer(code.format);
    writer.setMargin(0);
    if (code.format == ZXing::BarcodeFormat::QRCode || code.format == ZXing::BarcodeFormat::Aztec
        || code.format == ZXing::BarcodeFormat::PDF417 || code.format == ZXing::BarcodeFormat::DataMatrix)
        writer.setEncoding(ZXing::CharacterSet::UTF8);
    const ZXing::BitMatrix bits = isLinear(code.format) ? writer.encode(code.payload.toStdString(), 0, 0)
                                                        : writer.encode(code.payload.toStdWString(), 0, 0);
    const int columns = bits.width();
    const int rows = isLinear(code.format) ? std::max(1, barHeight * scale / module) : bits.height();
    // Bars need their quiet zone at the sides only.
    const int quietRows = isLinear(code.format) ? 2 : quiet;
    QImage image((columns + 2 * quiet) * module, (rows + 2 * quietRows) * module, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x)
            if (bits.get(x, isLinear(code.format) ? 0 : y))
                painter.fillRect((x + quiet) * module, (y + quietRows) * module, module, module, Qt::black);
    painter.end();
    return image;
}

// Draws a code at logical (x, y); returns its logical size.
QSizeF drawCode(
    Canvas &canvas, qreal x, qreal y, const Code &code, int module, int scale, bool inverted = false)
{
    QImage image = codeImage(code, module, isLinear(code.format) ? 8 : 3, 50, scale);
    if (inverted)
        image.invertPixels();
    const QSizeF size(qreal(image.width()) / scale, qreal(image.height()) / scale);
    canvas.painter().drawImage(QRectF(QPointF(x, y), size), image);
    canvas.mark(QRectF(QPointF(x, y), size));
    return size;
}

QList<QList<Code>> codeSheets()
{
    using F = ZXing::BarcodeFormat;
    return {
        { { F::QRCode, u8("https://example.org/tickets/7F3K9Q?lang=en") } },
        { { F::QRCode, u8("WIFI:T:WPA;S:Cafe Lindenhof;P:kaffee&kuchen24;;") } },
        { { F::QRCode, u8("Grüße aus Zürich – Kaffee für 2 €") } },
        { { F::DataMatrix, u8("SN:4C2-991-0087") } },
        { { F::Aztec, u8("M1DOE/JANE E4XK2LP FRAMUC 0417 123Y014C0042") } },
        { { F::PDF417, u8("INVOICE 2024-0113 TOTAL 249.90 EUR") } },
        { { F::Code128, u8("PKG-00472-BX") } },
        { { F::EAN13, u8("4006381333931") } },
        { { F::QRCode, u8("東京駅の3番出口で待っています") } },
        { { F::QRCode, u8("https://example.com/app") }, { F::Code128, u8("ORDER 58120") } },
        { { F::DataMatrix, u8("0123456789012345") } },
        { { F::QRCode, u8("geo:52.5163,13.3777") }, { F::QRCode, u8("tel:+493012345678") } },
    };
}

Sample codesAlone(const Variant &v)
{
    const QList<QList<Code>> sheets = codeSheets();
    const QList<Code> &sheet = sheets[v.index % sheets.size()];
    const int module = 2 + v.index % 5; // device pixels, 2 to 6
    // A code on a dark page sits on its own white card; some square codes are drawn light on
    // dark instead, bars never.
    const bool inverted = v.look == &darkLook && v.index % 3 == 0
        && std::none_of(sheet.begin(), sheet.end(), [](const Code &code) { return isLinear(code.format); });
    Canvas canvas(v.scale, v.look->window);
    qreal x = 16;
    QStringList payloads;
    QStringList formats;
    for (const Code &code : sheet) {
        const QSizeF size = drawCode(canvas, x, 16, code, module, v.scale, inverted);
        x += size.width() + 30;
        payloads.append(code.payload);
        formats.append(QLatin1String(formatName(code.format)));
    }
    return { canvas.cropped(6), payloads.join(u'\n'), QStringLiteral("en-US"), QString(), 0,
        int(sheet.size()), formats.join(u'+') + (inverted ? QStringLiteral(" inverted") : QString()),
        module };
}

struct Card {
    const char *layout;
    QStringList lines;
    Code code;
    bool below; // the code under the text, else to its right
};

QList<Card> cards()
{
    using F = ZXing::BarcodeFormat;
    return {
        { "ticket",
            { u8("Museum of Clocks"), u8("Adult ticket, 14 June"), u8("Show this code at the entrance") },
            { F::QRCode, u8("https://example.org/t/MC-20240614-0031") }, false },
        { "wifi card",
            { u8("Guest network"), u8("Name: Lindenhof Guest"), u8("Password: kaffee&kuchen24"),
                u8("Scan to connect") },
            { F::QRCode, u8("WIFI:T:WPA;S:Lindenhof Guest;P:kaffee&kuchen24;;") }, true },
        { "web page",
            { u8("Follow your order in real time with our app."), u8("Scan the code with your phone"),
                u8("camera to download it.") },
            { F::QRCode, u8("https://example.com/get-the-app") }, false },
        { "parcel label", { u8("Parcel 3 of 4"), u8("To: Jane Doe, 12 Harbour Road"), u8("Weight: 2.4 kg") },
            { F::Code128, u8("JD-12HR-0003-04") }, true },
        { "product", { u8("Organic oat drink, 1 litre"), u8("Best before 2025-02-11") },
            { F::EAN13, u8("4006381333931") }, true },
        { "boarding pass", { u8("Boarding pass"), u8("Flight LH 2419 to Munich"), u8("Gate B12, seat 14C") },
            { F::Aztec, u8("M1DOE/JANE E4XK2LP FRAMUC LH2419 014C") }, false },
        { "concert",
            { u8("Spring concert, 21 March, 19:30"), u8("Row F, seat 18"), u8("Doors open at 18:45") },
            { F::PDF417, u8("CONCERT 2103 ROW F SEAT 18") }, true },
        { "contact", { u8("Jane Doe"), u8("Product designer"), u8("Scan to save my contact") },
            { F::QRCode, u8("MECARD:N:Doe,Jane;TEL:+4930123456;EMAIL:jane@example.org;;") }, false },
        { "payment", { u8("Pay by phone"), u8("Amount: 36.40 EUR"), u8("Reference: 2024-0117") },
            { F::QRCode, u8("https://pay.example.net/i/2024-0117?amount=36.40") }, false },
    };
}

Sample codesWithText(const Variant &v)
{
    const QList<Card> all = cards();
    const Card &card = all[v.index % all.size()];
    const QStringList families { QStringLiteral("Liberation Sans"), QStringLiteral("Open Sans"),
        QStringLiteral("Cantarell") };
    const QFont body = fontOf(families[v.index % families.size()], 14 + v.index % 2);
    const QFont head = fontOf(family(body), 17, true);
    const int module = v.scale == 2 ? 4 + 2 * (v.index % 2) : 3 + v.index % 2;
    Canvas canvas(v.scale, v.look->window);
    // Dark pages show codes on a white card; the text stays on the page.
    qreal y = 16;
    qreal widest = 0;
    for (int i = 0; i < card.lines.size(); ++i) {
        const QFont &font = i == 0 ? head : body;
        widest = std::max(widest, canvas.text(16, y, card.lines[i], font, v.look->text));
        y += QFontMetricsF(font).lineSpacing() * 1.3;
    }
    if (card.below)
        drawCode(canvas, 16, y + 10, card.code, module, v.scale);
    else
        drawCode(canvas, 16 + widest + 36, 12, card.code, module, v.scale);
    return { canvas.cropped(10), (card.lines + QStringList { card.code.payload }).join(u'\n'),
        QStringLiteral("en-US"), family(body), body.pixelSize(), 1,
        QLatin1String(card.layout) + QLatin1Char(' ') + QLatin1String(formatName(card.code.format)), module };
}

// ---- no text -------------------------------------------------------------------------------

// A landscape-like picture: sky gradient, hills, a sun, and sensor noise, at 1x.
QImage photo(int index)
{
    QRandomGenerator random(1000 + index);
    const QSize size(300 + 20 * index, 190);
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, QColor::fromHsv(200 + index * 7, 120, 230));
    sky.setColorAt(1, QColor::fromHsv(30 + index * 5, 60, 250));
    painter.fillRect(image.rect(), sky);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(255, 230, 170));
    painter.drawEllipse(QPointF(60 + 40 * index, 50), 22, 22);
    for (int layer = 0; layer < 3; ++layer) {
        QPainterPath hill;
        hill.moveTo(0, size.height());
        for (int x = 0; x <= size.width(); x += 10)
            hill.lineTo(x, 110 + 25 * layer + 18 * std::sin(x / (40.0 + 15 * layer) + index + layer));
        hill.lineTo(size.width(), size.height());
        painter.setBrush(QColor::fromHsv(100 + 15 * layer, 120 + 30 * layer, 150 - 35 * layer));
        painter.drawPath(hill);
    }
    painter.end();
    for (int y = 0; y < size.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x) {
            const int n = int(random.bounded(13)) - 6;
            const auto channel = [n](int c) { return std::clamp(c + n, 0, 255); };
            line[x] = qRgb(channel(qRed(line[x])), channel(qGreen(line[x])), channel(qBlue(line[x])));
        }
    }
    return image;
}

// Glyph-less icons: arrows, a magnifier, a gear-like ring, bars, a heart, as toolbars show them.
void drawIcon(QPainter &painter, const QRectF &box, int which, const QColor &colour)
{
    painter.save();
    painter.setPen(QPen(colour, box.width() / 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.setBrush(Qt::NoBrush);
    const QPointF c = box.center();
    const qreal r = box.width() / 3;
    switch (which % 8) {
    case 0: // back arrow
        painter.drawLine(QPointF(c.x() + r, c.y()), QPointF(c.x() - r, c.y()));
        painter.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() - r / 2, c.y() - r / 2));
        painter.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() - r / 2, c.y() + r / 2));
        break;
    case 1: // magnifier
        painter.drawEllipse(QPointF(c.x() - r / 4, c.y() - r / 4), r * 0.6, r * 0.6);
        painter.drawLine(QPointF(c.x() + r / 4, c.y() + r / 4), QPointF(c.x() + r, c.y() + r));
        break;
    case 2: // menu bars
        for (int i = -1; i <= 1; ++i)
            painter.drawLine(
                QPointF(c.x() - r, c.y() + i * r / 1.5), QPointF(c.x() + r, c.y() + i * r / 1.5));
        break;
    case 3: // ring with teeth
        painter.drawEllipse(c, r * 0.55, r * 0.55);
        for (int i = 0; i < 8; ++i) {
            const qreal a = i * M_PI / 4;
            painter.drawLine(
                c + QPointF(std::cos(a), std::sin(a)) * r * 0.75, c + QPointF(std::cos(a), std::sin(a)) * r);
        }
        break;
    case 4: { // heart
        QPainterPath heart;
        heart.moveTo(c.x(), c.y() + r);
        heart.cubicTo(
            c.x() - 1.6 * r, c.y() - 0.2 * r, c.x() - 0.6 * r, c.y() - 1.3 * r, c.x(), c.y() - 0.4 * r);
        heart.cubicTo(c.x() + 0.6 * r, c.y() - 1.3 * r, c.x() + 1.6 * r, c.y() - 0.2 * r, c.x(), c.y() + r);
        painter.setBrush(colour);
        painter.drawPath(heart);
        break;
    }
    case 5: // play triangle
        painter.setBrush(colour);
        painter.drawPolygon(QPolygonF { QPointF(c.x() - r / 2, c.y() - r), QPointF(c.x() + r, c.y()),
            QPointF(c.x() - r / 2, c.y() + r) });
        break;
    case 6: // bell-like dome
        painter.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 0, 180 * 16);
        painter.drawLine(QPointF(c.x() - r, c.y()), QPointF(c.x() + r, c.y()));
        painter.drawPoint(QPointF(c.x(), c.y() + r / 2));
        break;
    default: // refresh: an arc with its arrowhead
        painter.drawArc(QRectF(c.x() - r, c.y() - r, 2 * r, 2 * r), 30 * 16, 300 * 16);
        painter.setBrush(colour);
        painter.drawPolygon(QPolygonF { QPointF(c.x() + r * 0.55, c.y() - r * 0.95),
            QPointF(c.x() + r * 1.25, c.y() - r * 0.75), QPointF(c.x() + r * 0.9, c.y() - r * 0.1) });
        break;
    }
    painter.restore();
}

Sample noText(const Variant &v)
{
    const int which = v.index % 5;
    if (which == 0)
        return { photo(v.index / 5), QString(), QStringLiteral("en-US"), QString(), 0, 0,
            QStringLiteral("photo") };
    Canvas canvas(v.scale, v.look->window);
    QPainter &painter = canvas.painter();
    QString layout;
    if (which == 1) { // a toolbar of icon buttons
        layout = QStringLiteral("toolbar");
        canvas.fill(QRectF(8, 8, 10 * 36 + 8, 44), v.look->panel, 8);
        for (int i = 0; i < 10; ++i)
            drawIcon(painter, QRectF(14 + i * 36, 14, 32, 32), i + v.index, v.look->text);
    } else if (which == 2) { // rules, a progress bar, toggles and a slider
        layout = QStringLiteral("rules and controls");
        painter.setPen(QPen(v.look->rule, 1));
        for (int i = 0; i < 4; ++i)
            painter.drawLine(QPointF(10, 14 + i * 36), QPointF(330, 14 + i * 36));
        canvas.fill(QRectF(10, 24, 320, 8), v.look->panel, 4);
        canvas.fill(QRectF(10, 24, 190, 8), v.look->accent, 4);
        for (int i = 0; i < 3; ++i) {
            canvas.fill(QRectF(10 + i * 70, 60, 44, 24), i == 1 ? v.look->accent : v.look->rule, 12);
            canvas.fill(QRectF(i == 1 ? 32 + i * 70 : 12 + i * 70, 62, 20, 20), QColor(Qt::white), 10);
        }
        canvas.fill(QRectF(10, 110, 320, 4), v.look->rule, 2);
        canvas.fill(QRectF(200, 102, 20, 20), v.look->accent, 10);
        canvas.mark(QRectF(10, 10, 320, 130));
    } else if (which == 3) { // a grid of app icons
        layout = QStringLiteral("icon grid");
        for (int i = 0; i < 12; ++i) {
            const QRectF box(10 + (i % 6) * 64, 10 + (i / 6) * 64, 52, 52);
            canvas.fill(box, QColor::fromHsv((i * 47 + v.index * 13) % 360, 160, 210), 12);
            drawIcon(painter, box.adjusted(8, 8, -8, -8), i, QColor(Qt::white));
        }
    } else { // a chart without labels and some avatars
        layout = QStringLiteral("chart and avatars");
        const int heights[] = { 40, 72, 55, 96, 80, 30, 64 };
        for (int i = 0; i < 7; ++i)
            canvas.fill(QRectF(14 + i * 30, 120 - heights[i], 20, heights[i]),
                v.look->accent.lighter(100 + 10 * i), 3);
        painter.setPen(QPen(v.look->rule, 1));
        painter.drawLine(QPointF(10, 121), QPointF(230, 121));
        for (int i = 0; i < 4; ++i)
            canvas.fill(QRectF(260 + (i % 2) * 44, 30 + (i / 2) * 44, 36, 36),
                QColor::fromHsv((i * 80 + 20) % 360, 120, 200), 18);
    }
    return { canvas.cropped(6), QString(), QStringLiteral("en-US"), QString(), 0, 0, layout };
}

} // namespace

int generateCaptureKinds(const QString &directory)
{
    SnippetWriter writer(directory,
        { QStringLiteral("file"), QStringLiteral("kind"), QStringLiteral("language"), QStringLiteral("scale"),
            QStringLiteral("theme"), QStringLiteral("font"), QStringLiteral("size"), QStringLiteral("codes"),
            QStringLiteral("module"), QStringLiteral("lines"), QStringLiteral("layout"),
            QStringLiteral("ci") });
    if (!writer.isOpen())
        return 1;
    // ci: the half the test build's accuracy gate reads (the whole set takes too long under
    // the sanitizers); the benchmark reads all.
    const auto emit = [&](const QString &kind, int index, int scale, const QString &theme,
                          const Sample &sample, bool ci) {
        const QString base = QStringLiteral("%1_%2")
                                 .arg(QString(kind).replace(u'+', u'-'))
                                 .arg(index, 2, 10, QLatin1Char('0'));
        const qsizetype lines = sample.expected.isEmpty() ? 0 : sample.expected.count(u'\n') + 1;
        return writer.write(base, sample.image, sample.expected,
            { kind, sample.language, QString::number(scale), theme,
                sample.font.isEmpty() ? QStringLiteral("-") : sample.font, QString::number(sample.pixelSize),
                QString::number(sample.codes), QString::number(sample.module), QString::number(lines),
                sample.layout, QString::number(ci ? 1 : 0) });
    };
    struct Kind {
        const char *name;
        int count;
        std::function<Sample(const Variant &)> render;
    };
    const QList<EastAsian> cjk = eastAsian();
    const QList<QStringList> code = sources();
    const QList<QStringList> shells = sessions();
    const QList<Kind> kinds {
        { "columns2", 10, [](const Variant &v) { return columns(v, 2); } },
        { "columns3", 8, [](const Variant &v) { return columns(v, 3); } },
        { "sidebar", 8, sidebar },
        { "table", 10, table },
        { "paragraph", 10, paragraph },
        { "code", 12, [&](const Variant &v) { return monospaced(v, code[v.index % code.size()], false); } },
        { "terminal", 10,
            [&](const Variant &v) { return monospaced(v, shells[v.index % shells.size()], true); } },
        { "chat", 8, chat },
        { "ja", 12, [&](const Variant &v) { return eastAsianParagraph(v, cjk[0]); } },
        { "zh", 12, [&](const Variant &v) { return eastAsianParagraph(v, cjk[1]); } },
        { "ko", 12, [&](const Variant &v) { return eastAsianParagraph(v, cjk[2]); } },
        { "codes", 12, codesAlone },
        { "codes+text", 9, codesWithText },
        { "notext", 10, noText },
    };
    for (const Kind &kind : kinds) {
        for (int i = 0; i < kind.count; ++i) {
            const Variant variant = variantOf(i);
            const Sample sample = kind.render(variant);
            const bool photograph = sample.layout == u"photo";
            const QString theme = photograph ? QStringLiteral("photo")
                : sample.theme.isEmpty()     ? QLatin1String(variant.look->name)
                                             : sample.theme;
            // Light at 1x and dark at 2x, so the half still meets both themes and both scales.
            if (!emit(QLatin1String(kind.name), i, photograph ? 1 : variant.scale, theme, sample,
                    i % 4 == 0 || i % 4 == 3))
                return 1;
        }
    }
    // Small text is about pixel size, so it stays at 1x: 8, 9, 10 and 11 px, eight of each.
    const auto smallTheme
        = [](int i) { return (i + i / 4) % 2 ? QStringLiteral("dark") : QStringLiteral("light"); };
    for (int i = 0; i < 32; ++i)
        if (!emit(QStringLiteral("small"), i, 1, smallTheme(i), small(i), (i / 4) % 2 == 0))
            return 1;
    // Small text zoomed to 200 % in an image viewer, which enlarges smoothly: blurred words.
    for (int i = 0; i < 8; ++i) {
        Sample sample = small(i);
        sample.image
            = sample.image.scaled(sample.image.size() * 2, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        sample.layout = QStringLiteral("%1 px at 200 %").arg(sample.pixelSize);
        if (!emit(QStringLiteral("zoomed"), i, 1, smallTheme(i), sample, i % 2 == 0))
            return 1;
    }
    std::printf("%d capture kinds written to %s\n", writer.count(), qPrintable(writer.path()));
    return 0;
}
