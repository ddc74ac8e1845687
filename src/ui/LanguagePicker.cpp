#include "LanguagePicker.h"

#include "app/AppState.h"
#include "app/OCRLanguageOption.h"

#include <QAbstractItemView>
#include <QStyleOptionComboBox>
#include <QStylePainter>

LanguagePicker::LanguagePicker(AppState &state, QWidget *parent)
    : QComboBox(parent)
    , m_state(state)
{
    for (const OCRLanguageOption &option : OCRLanguageOption::all())
        addItem(option.displayName, option.identifier);
    // Room from the font's metrics, so that larger fonts do not clip the names.
    setSizeAdjustPolicy(QComboBox::AdjustToContents);
    updateListWidth();
    // activated: the user's choices only, not the ones refresh() makes.
    connect(this, &QComboBox::activated, this,
        [this](int index) { m_state.setSelectedLanguageIdentifier(itemData(index).toString()); });
    refresh();
}

void LanguagePicker::refresh()
{
    setCurrentIndex(findData(m_state.selectedLanguageOption().identifier));
}

QSize LanguagePicker::minimumSizeHint() const
{
    QSize size = QComboBox::minimumSizeHint();
    size.setWidth(qMin(size.width(), fontMetrics().averageCharWidth() * 8 + 40));
    return size;
}

QRect LanguagePicker::textRect() const
{
    QStyleOptionComboBox option;
    initStyleOption(&option);
    return style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
}

QString LanguagePicker::shownText() const
{
    return fontMetrics().elidedText(currentText(), Qt::ElideRight, textRect().width());
}

void LanguagePicker::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionComboBox option;
    initStyleOption(&option);
    painter.drawComplexControl(QStyle::CC_ComboBox, option);
    option.currentText = shownText();
    painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

void LanguagePicker::changeEvent(QEvent *event)
{
    QComboBox::changeEvent(event);
    if (event->type() == QEvent::FontChange)
        updateListWidth();
}

void LanguagePicker::updateListWidth()
{
    // The open list is never narrower than its longest name, however narrow the picker.
    view()->setMinimumWidth(sizeHint().width());
}
