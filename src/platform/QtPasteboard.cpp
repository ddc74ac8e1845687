#include "QtPasteboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <QTimer>

std::optional<QString> QtPasteboard::string() const
{
    if (m_clearPending)
        return std::nullopt;
    const QMimeData *data = QGuiApplication::clipboard()->mimeData(QClipboard::Clipboard);
    if (!data || !data->hasText())
        return std::nullopt;
    return data->text();
}

void QtPasteboard::clearContents()
{
    if (m_clearPending)
        return;
    m_clearPending = true;
    QTimer::singleShot(0, &m_pendingClear, [this] {
        if (!m_clearPending)
            return;
        m_clearPending = false;
        QGuiApplication::clipboard()->clear(QClipboard::Clipboard);
    });
}

void QtPasteboard::setString(const QString &text)
{
    m_clearPending = false;
    QGuiApplication::clipboard()->setText(text, QClipboard::Clipboard);
}
