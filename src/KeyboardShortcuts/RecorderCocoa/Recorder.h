#pragma once

#include "RecorderCocoa.h"

#include <QWidget>

class QLabel;

namespace KeyboardShortcuts {

// A recorder as the settings show it: the field, and under it a warning while the stored
// shortcut cannot work because another program holds the combination.
class Recorder : public QWidget {
    Q_OBJECT
public:
    Recorder(const Name &name, Dialogs &dialogs, RecorderCocoa::ChangeHandler onChange = {},
        QWidget *parent = nullptr);

    RecorderCocoa &field() const { return *m_field; }
    // The warning's text; empty while it is hidden.
    QString warning() const;

protected:
    void showEvent(QShowEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void refreshWarning();
    void updateWarningColour();

    RecorderCocoa *m_field;
    QLabel *m_warning;
};

} // namespace KeyboardShortcuts
