#include "editor/noquotevalidator.h"

QValidator::State NoQuoteValidator::validate(QString &input, int &) const
{
    return input.contains(QLatin1Char('"')) ? Invalid : Acceptable;
}
