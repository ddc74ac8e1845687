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

private:
    AppState &m_state;
};
