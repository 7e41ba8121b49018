#pragma once

#include <QWidget>

class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The About window: a note from the makers in five lines, a greeting and "OK!". Modeless and
// ownerless; closing it ("OK!" or the title bar) destroys it.
class About : public QWidget
{
    Q_OBJECT

public:
    explicit About(QWidget *parent = nullptr);

private:
    void Command1_Click();

    QGroupBox *Frame1 = nullptr;
    QLineEdit *Text1 = nullptr;
    QLineEdit *Text2 = nullptr;
    QLineEdit *Text3 = nullptr;
    QLabel *Label1 = nullptr;
    QPushButton *Command1 = nullptr;
    QLineEdit *Text4 = nullptr;
    QLineEdit *Text5 = nullptr;
};
