#include "platform/qtopendialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>

void QtOpenDialog::setFilter(const QString &filter)
{
    m_filter = filter;
}

QStringList QtOpenDialog::filters() const
{
    return {m_filter, QStringLiteral("Audio files (*.mp3 *.wav *.flac *.ogg *.oga *.opus *.aif *.aiff)"),
            QStringLiteral("All files (*)")};
}

bool QtOpenDialog::showOpen()
{
    // Over the window that asked (the modal editor, or the player window for a cart's menu), so
    // that no window manager stacks it below or puts it in a corner of the screen.
    QWidget *over = QApplication::activeModalWidget() ? QApplication::activeModalWidget()
                                                      : QApplication::activeWindow();
    const QString chosen = QFileDialog::getOpenFileName(over, QString(), m_lastFolder,
                                                        filters().join(QStringLiteral(";;")));
    if (chosen.isEmpty())
        return false;
    m_fileName = QFileInfo(chosen).absoluteFilePath();
    m_lastFolder = QFileInfo(m_fileName).absolutePath();
    return true;
}

QString QtOpenDialog::fileName() const
{
    return m_fileName;
}
