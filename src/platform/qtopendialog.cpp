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
    // Over the window that asked (the modal editor), so that no window manager stacks it below.
    const QString chosen = QFileDialog::getOpenFileName(QApplication::activeModalWidget(), QString(), m_lastFolder,
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
