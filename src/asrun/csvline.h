#pragma once

#include <QString>
#include <QStringList>

// One record of an RFC 4180 CSV file: fields separated by commas, a field holding a comma, a
// double quote or a line break quoted (its double quotes doubled), ended by CR LF. Control
// characters other than those are dropped, so a record is always one record. A field that begins
// with "=", "+", "-", "@", a tab or a CR gets a leading "'", so that no spreadsheet reads it
// as a formula.
QByteArray csvLine(const QStringList &fields);
