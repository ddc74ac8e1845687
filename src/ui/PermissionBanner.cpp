#include "PermissionBanner.h"

#include "Icons.h"
#include "Style.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

PermissionBanner::PermissionBanner(QWidget *parent)
    : QWidget(parent)
{
    auto *row = new QHBoxLayout(this);
    row->setContentsMargins(14, 14, 14, 14);
    row->setSpacing(12);

    auto *icon = new QLabel(this);
    icon->setPixmap(symbolIcon(QStringLiteral("exclamationmark.shield.fill")).pixmap(26, 26));
    row->addWidget(icon, 0, Qt::AlignVCenter);

    auto *column = new QVBoxLayout;
    column->setSpacing(4);
    auto *title = new QLabel(QStringLiteral("Screen Recording permission not granted"), this);
    title->setFont(Style::headlineFont());
    auto *text
        = new QLabel(QStringLiteral("Screen Recording permission is not granted. Glyphwell needs it to read "
                                    "text from a selected screen area. Everything is processed locally and "
                                    "nothing leaves this device."),
            this);
    text->setFont(Style::calloutFont());
    text->setWordWrap(true);
    Style::follow(text, Style::Role::secondaryText);
    column->addWidget(title);
    column->addWidget(text);
    row->addLayout(column, 1);
    row->addSpacing(12);

    auto *buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    auto *openSettings = new QPushButton(QStringLiteral("Open Settings"), this);
    openSettings->setObjectName(QStringLiteral("openSettingsButton"));
    // The prominent button: filled with the accent colour.
    Style::follow(openSettings, Style::Role::prominentButton);
    auto *checkAgain = new QPushButton(QStringLiteral("Check Again"), this);
    checkAgain->setObjectName(QStringLiteral("checkAgainButton"));
    buttons->addWidget(openSettings);
    buttons->addWidget(checkAgain);
    row->addLayout(buttons);

    connect(openSettings, &QPushButton::clicked, this, &PermissionBanner::openSettingsClicked);
    connect(checkAgain, &QPushButton::clicked, this, &PermissionBanner::checkAgainClicked);
}

void PermissionBanner::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 14, 14);
    QColor fill = Style::orange();
    fill.setAlphaF(0.12);
    QColor stroke = Style::orange();
    stroke.setAlphaF(0.35);
    painter.fillPath(shape, fill);
    painter.setPen(QPen(stroke, 1));
    painter.drawPath(shape);
}
