#pragma once

#include <QByteArray>
#include <QString>

// Replaces the file at path with bytes whole: the new content goes to a temporary file in the
// same folder that is renamed over the old one, so a failed or interrupted save leaves the
// previous file as it was (only where the folder cannot take a temporary file is the file
// written in place). Returns false with a readable reason in errorMessage when nothing was saved.
bool writeFileWhole(const QString &path, const QByteArray &bytes, QString *errorMessage);
