#include "LanguagePicker.h"

#include "app/AppState.h"
#include "app/OCRLanguageOption.h"

LanguagePicker::LanguagePicker(AppState &state, QWidget *parent)
    : QComboBox(parent)
    , m_state(state)
{
    for (const OCRLanguageOption &option : OCRLanguageOption::all())
        addItem(option.displayName, option.identifier);
    // activated: the user's choices only, not the ones refresh() makes.
    connect(this, &QComboBox::activated, this,
        [this](int index) { m_state.setSelectedLanguageIdentifier(itemData(index).toString()); });
    refresh();
}

void LanguagePicker::refresh()
{
    setCurrentIndex(findData(m_state.selectedLanguageOption().identifier));
}
