#pragma once

#include <QDialog>

#include <optional>

class QLabel;
class QLineEdit;

// A cart's caption, typed afresh: at most kMaxLength characters, with the count of those left
// shown as the operator types; no double quote (the track-list file cannot hold one). What it
// answers has no spaces at either end, so none reaches the wall or the as-run log.
class CaptionDialog : public QDialog
{
    Q_OBJECT

public:
    static constexpr int kMaxLength = 40;

    CaptionDialog(QWidget *parent, int slot, const QString &caption);

    // The caption typed, trimmed; nothing when the operator cancelled.
    static std::optional<QString> ask(QWidget *parent, int slot, const QString &caption);

    QString caption() const;

private:
    void showLeft();

    QLineEdit *m_text;
    QLabel *m_left;
};
