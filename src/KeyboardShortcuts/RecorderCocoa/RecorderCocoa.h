#pragma once

#include "KeyboardShortcuts/Name.h"
#include "KeyboardShortcuts/Shortcut.h"

#include <QKeyCombination>
#include <QLineEdit>
#include <QPointer>

#include <functional>
#include <optional>

class Dialogs;
class QAction;
class QMenuBar;

namespace KeyboardShortcuts {

// The program's main menu, which new shortcuts must not collide with; nullptr for none.
void setApplicationMainMenu(QMenuBar *menuBar);
QMenuBar *applicationMainMenu();

// The control that records the shortcut of one named slot: a single-line field showing the
// stored shortcut, with a clear button. Focusing it (a click, Tab) starts recording: the next
// combination pressed is checked and, if acceptable, stored. While it records, the program's
// global hot keys do nothing and let their grabs go, so a combination already bound can be
// pressed. The window never focuses it by itself when it appears.
class RecorderCocoa : public QLineEdit {
    Q_OBJECT
public:
    using ChangeHandler = std::function<void(const std::optional<Shortcut> &)>;

    // What the recorder made of an event while recording, in the order it checks.
    enum class Step {
        clickInside, // swallowed
        clickOutside, // recording ends, the click goes on
        tab, // recording ends, focus moves on
        cancel, // Escape: recording ends, nothing stored
        clear, // Delete or Backspace: the slot is cleared
        needsModifier, // no Control, Alt or Super and not F1-F35: beep, recording goes on
        notAShortcut, // no key code for the key: beep
        usedByMenuItem, // alert, nothing stored, recording resumes
        disallowed, // the sandbox rule: alert, nothing stored
        keptSystemShortcut, // alert answered "OK": nothing stored, recording resumes
        stored, // stored (also after "Use Anyway"), recording ends
        other, // not an event the recorder looks at
    };

    RecorderCocoa(const Name &name, Dialogs &dialogs, ChangeHandler onChange = {}, QWidget *parent = nullptr);
    ~RecorderCocoa() override;

    static constexpr int minimumWidth = 130;

    const Name &shortcutName() const { return m_name; }
    void setShortcutName(const Name &name);
    bool isRecording() const { return m_recording; }
    // The outcome of the last event handled while recording.
    Step lastStep() const { return m_lastStep; }

    // Whether the system uses the shortcut; KeyboardShortcuts::isUsedBySystem unless replaced.
    std::function<bool(const Shortcut &)> isSystemShortcut;

    // A combination that another program took before it reached this field (on X11 its grab
    // wins): checked like a pressed one from the modifier rule on, while recording.
    void handleCombinationTakenElsewhere(const Shortcut &shortcut);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

Q_SIGNALS:
    // After a recording ended (stored, cancelled or left), so labels around it can update.
    void recordingEnded();

protected:
    bool event(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void showEvent(QShowEvent *event) override;

private:
    void refreshStringValue();
    void startRecording();
    void endRecording();
    void preventBecomingKey();
    Step handleKeyPress(const QKeyEvent &event);
    Step handleCombination(Qt::KeyboardModifiers modifiers, int key, const std::optional<Shortcut> &shortcut);
    Step handleMouseRelease(const QMouseEvent &event);
    void clearShortcut();
    // Ends recording, shows the alert on the window, and records again afterwards.
    int alertWhileNotRecording(
        const QString &message, const QString &informative, const QStringList &buttons);

    Name m_name;
    Dialogs &m_dialogs;
    ChangeHandler m_onChange;
    bool m_recording = false;
    bool m_inAlert = false;
    // An alert was answered while another program's grab had the keyboard: the window was
    // not active to take the focus back, so recording resumes when it is active again.
    bool m_resumeWhenActive = false;
    Step m_lastStep = Step::other;
    QPointer<QWidget> m_watchedWindow;
    QAction *m_clearAction = nullptr;
};

} // namespace KeyboardShortcuts
