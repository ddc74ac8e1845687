#include "capture/TextLayout.h"

#include <QFont>
#include <QPainter>

#include <gtest/gtest.h>

// Columns, sidebars, tables and paragraphs are read in order within the accuracy gate's floors
// (bench/data/kinds); here where a table's gutter lies when a spreadsheet's grid crosses it.
TEST(TextLayout, ATablesGuttersLieBetweenItsColumns_RulesIncluded)
{
    QImage image(500, 120, QImage::Format_Grayscale8);
    image.fill(255);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(13);
    painter.setFont(font);
    const char *rows[][2] = { { "Alice", "Paris" }, { "Bob", "Oslo" }, { "Carol", "Lima" } };
    for (int i = 0; i < 3; ++i) {
        painter.drawText(QPoint(10, 24 + i * 20), QLatin1String(rows[i][0]));
        painter.drawText(QPoint(200, 24 + i * 20), QLatin1String(rows[i][1]));
    }
    // A vertical rule between the columns, a horizontal one under each row.
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
