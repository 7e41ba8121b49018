#pragma once

#include "platform/opendialog.h"

// The Open dialog as a Qt file dialog over the modal window that opens it; it starts in the
// folder last used.
class QtOpenDialog : public OpenDialog
{
public:
    void setFilter(const QString &filter) override;
    bool showOpen() override;
    QString fileName() const override;

private:
    QString m_filter;
    QString m_fileName;
    QString m_lastFolder;
};
