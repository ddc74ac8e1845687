#include "capture/TextLayout.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

namespace {

// Text drawn where a screen would have it: each item is a run of lines at (x, y), 13 px type
// on a 20 px pitch, dark on white as the prepared image is.
struct Item {
    int x;
    int y;
    QStringList lines;
};

QImage page(int width, int height, const std::vector<Item> &items)
{
    QImage image(width, height, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (const Item &item : items) {
        for (qsizetype i = 0; i < item.lines.size(); ++i)
            painter.drawText(QPoint(item.x, item.y + 14 + int(i) * 20), item.lines[i]);
    }
    return image;
}

QStringList prose(int lines, int offset = 0)
{
    static const QStringList text {
        QStringLiteral("The committee met on Tuesday to review the"),
        QStringLiteral("budget for next year and agreed that most"),
        QStringLiteral("of the money should go to the new library"),
        QStringLiteral("building, which has waited for a decade."),
        QStringLiteral("Several members asked for a second vote on"),
        QStringLiteral("the matter before the end of the session."),
    };
    QStringList result;
    for (int i = 0; i < lines; ++i)
        result.append(text[(i + offset) % text.size()]);
    return result;
}

} // namespace

// Which parts of a selection are read on their own, and in which order.
TEST(TextLayout, FlowsSideBySideAreReadOneAfterTheOther_TablesRowByRow)
{
    const QStringList column = prose(6);
    const struct {
        const char *name;
        QImage image;
        int blocks;
        int tables;
        std::vector<int> lefts; // the blocks' left edges, in reading order, roughly
    } cases[] = {
        { "one paragraph is one block", page(400, 150, { { 10, 10, column } }), 1, 0, { 10 } },
        { "two columns with the same line pitch are two flows",
            page(700, 150, { { 10, 10, column }, { 360, 10, prose(6, 3) } }), 2, 0, { 10, 360 } },
        { "two columns whose lines do not line up",
            page(700, 160, { { 10, 10, column }, { 360, 20, prose(5, 2) } }), 2, 0, { 10, 360 } },
        { "three columns under a heading",
            page(1050, 200,
                { { 10, 5, { QStringLiteral("Annual report") } }, { 10, 40, column },
                    { 360, 40, prose(4, 1) }, { 710, 40, prose(5, 2) } }),
            3, 0, { 10, 360, 710 } },
        { "a sidebar beside the content",
            page(600, 200,
                { { 10, 10, { QStringLiteral("Home"), QStringLiteral("Inbox"), QStringLiteral("Drafts") } },
                    { 160, 10, prose(7) } }),
            2, 0, { 10, 160 } },
        { "a file list is a table",
            page(500, 120,
                { { 10, 10,
                      { QStringLiteral("Name"), QStringLiteral("report.pdf"), QStringLiteral("photo.jpg"),
                          QStringLiteral("notes.txt") } },
                    { 200, 10,
                        { QStringLiteral("Size"), QStringLiteral("1.2 MB"), QStringLiteral("340 KB"),
                            QStringLiteral("2 KB") } },
                    { 330, 10,
                        { QStringLiteral("Modified"), QStringLiteral("Yesterday"), QStringLiteral("Monday"),
                            QStringLiteral("Today") } } }),
            1, 1, { 10 } },
        { "a table below a paragraph",
            page(500, 200,
                { { 10, 10, { QStringLiteral("These are the files you shared last week.") } },
                    { 10, 50,
                        { QStringLiteral("report.pdf"), QStringLiteral("photo.jpg"),
                            QStringLiteral("notes.txt") } },
                    { 200, 50,
                        { QStringLiteral("1.2 MB"), QStringLiteral("340 KB"), QStringLiteral("2 KB") } } }),
            2, 1, { 10, 10 } },
        { "a blank image has no block", page(200, 100, {}), 0, 0, {} },
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<TextBlock> blocks = textBlocks(c.image);
        ASSERT_EQ(int(blocks.size()), c.blocks);
        EXPECT_EQ(
            int(std::count_if(blocks.begin(), blocks.end(), [](const TextBlock &b) { return b.isTable(); })),
            c.tables);
        for (size_t b = 0; b < blocks.size(); ++b)
            EXPECT_NEAR(blocks[b].rect.left(), c.lefts[b], 4) << "block " << b;
    }
}

TEST(TextLayout, ATablesGuttersLieBetweenItsColumns_RulesIncluded)
{
    QImage image = page(500, 120,
        { { 10, 10, { QStringLiteral("Alice"), QStringLiteral("Bob"), QStringLiteral("Carol") } },
            { 200, 10, { QStringLiteral("Paris"), QStringLiteral("Oslo"), QStringLiteral("Lima") } } });
    // A spreadsheet's grid: a vertical rule between the columns, a horizontal one under each row.
    QPainter painter(&image);
    painter.setPen(QColor(120, 120, 120));
    painter.drawLine(150, 5, 150, 75);
    for (int y : { 28, 48 })
        painter.drawLine(5, y, 300, y);
    painter.end();
    const std::vector<TextBlock> blocks = textBlocks(image);
    ASSERT_EQ(blocks.size(), 1u);
    ASSERT_EQ(blocks.front().gutters.size(), 1u);
    const auto [left, right] = blocks.front().gutters.front();
    EXPECT_LT(left, 150);
    EXPECT_GT(right, 150);
    EXPECT_GT(left, 40);
    EXPECT_LE(right, 202);
    // Both rules are painted over before the table is read.
    const auto covers = [&](int x, int y) {
        return std::any_of(blocks.front().rules.begin(), blocks.front().rules.end(),
            [&](const QRect &rule) { return rule.contains(x, y); });
    };
    EXPECT_TRUE(covers(150, 40));
    EXPECT_TRUE(covers(100, 48));
    EXPECT_FALSE(covers(20, 20));
}
