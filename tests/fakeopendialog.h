#pragma once

#include "platform/opendialog.h"

#include <QStringList>

// An Open dialog that answers with a scripted choice: a path, or a cancel when empty.
class FakeOpenDialog : public OpenDialog
{
public:
    QString nextChoice;  // empty: the user cancels
    QStringList filters; // every filter set, in order
    int shown = 0;

    void setFilter(const QString &filter) override { filters << filter; }
    bool showOpen() override
    {
        ++shown;
        if (nextChoice.isEmpty())
            return false;
        m_fileName = nextChoice;
        return true;
    }
    QString fileName() const override { return m_fileName; }

private:
    QString m_fileName;
};
