#pragma once

#include "platform/opendialog.h"

// The Open dialog as a Qt file dialog over the modal window that opens it; it starts in the
// folder last used.
class QtOpenDialog : public OpenDialog
{
public:
    void setFilter(const QString &filter) override;
    // What the dialog offers: the filter set, first and as set, then every audio format the
    // player reads, then all files.
    QStringList filters() const;
    bool showOpen() override;
    QString fileName() const override;

private:
    QString m_filter;
    QString m_fileName;
    QString m_lastFolder;
};
