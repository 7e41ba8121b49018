#pragma once

#include <QString>

// The system's Open dialog as the editor uses it: set a filter, show it, read the file chosen.
class OpenDialog
{
public:
    virtual ~OpenDialog() = default;

    virtual void setFilter(const QString &filter) = 0;

    // Shows the dialog and returns when the user closes it: true when a file was chosen.
    virtual bool showOpen() = 0;

    // The full path of the file chosen by the last showOpen() that returned true.
    virtual QString fileName() const = 0;
};
