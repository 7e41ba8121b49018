#pragma once

#include <QValidator>

// Refuses any text holding a double quote: the track-list file has no way to store one.
class NoQuoteValidator : public QValidator
{
    Q_OBJECT

public:
    using QValidator::QValidator;
    State validate(QString &input, int &pos) const override;
};
