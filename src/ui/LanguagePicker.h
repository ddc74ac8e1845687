#pragma once

#include <QComboBox>

class AppState;

// The recognition-language pop-up, bound both ways to the application state's language:
// a choice is stored at once, and every picker shows the stored choice.
class LanguagePicker : public QComboBox {
    Q_OBJECT
public:
    explicit LanguagePicker(AppState &state, QWidget *parent = nullptr);

    // Shows the stored language ("Automatic" for one the list does not have).
    void refresh();

    // The language as the closed picker draws it: whole where it fits, else cut with "…".
    QString shownText() const;
    // Asks for room for the longest name, but can make do with less (see shownText).
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    QRect textRect() const;
    void updateListWidth();

    AppState &m_state;
};
