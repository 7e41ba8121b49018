#pragma once

#include "platform/opendialog.h"

// The Open dialog as a Qt file dialog, application-modal; it opens in the folder last used.
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
