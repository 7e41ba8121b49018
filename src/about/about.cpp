#include "about/about.h"

#include "common/captionfit.h"
#include "common/classicfont.h"
#include "common/twips.h"

#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {

QLineEdit *makeLine(QWidget *parent, const char *name, const QString &text, int top, bool enabled)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setGeometry(Twips::rect(240, top, 5055, 285));
    box->setCursorPosition(0);
    box->setEnabled(enabled);
    return box;
}

} // namespace

About::About(QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("about"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("About Kelvo 2.00"));
    setWindowIcon(QIcon());
    setFont(classicFont(8.25, false));
    resize(Twips::toPixels(6060), Twips::toPixels(3240));

    Frame1 = new QGroupBox(QStringLiteral("Stuff"), this);
    Frame1->setObjectName(QStringLiteral("Frame1"));
    Frame1->setGeometry(Twips::rect(240, 120, 5535, 2895));

    // Created bottom of the stack first: the label lies under the lower text box and the button,
    // so "HAVE A NICE DAY" is mostly hidden. The design's positions and order make it so.
    Label1 = new QLabel(QStringLiteral("HAVE A NICE DAY"), Frame1);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(Twips::rect(1920, 1920, 2175, 615));
    Label1->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    Label1->setWordWrap(true);

    Text1 = makeLine(Frame1, "Text1",
                     QStringLiteral("I decided to change stuff from the first version, I think this one is alot "), 360,
                     false);
    Text2 = makeLine(Frame1, "Text2", QStringLiteral("better. Send your questions and comments to kelvo@example.org"),
                     720, false);
    Text3 = makeLine(Frame1, "Text3", QStringLiteral("Made by the Kelvo project. This program shall not be sold."),
                     1080, false);

    Command1 = new QPushButton(QStringLiteral("OK!"), Frame1);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setGeometry(Twips::rect(2040, 2280, 1455, 495));
    connect(Command1, &QPushButton::clicked, this, &About::Command1_Click);

    Text4 = makeLine(Frame1, "Text4", QStringLiteral("Note: This program is also named Quorbel.. In case you were "),
                     1440, true);
    Text5 = makeLine(Frame1, "Text5", QStringLiteral("wondering..."), 1800, true);

    fitCaptions(this);
    setTabOrder(Command1, Text4);
    setTabOrder(Text4, Text5);
    Command1->setFocus(Qt::OtherFocusReason);
}

void About::Command1_Click()
{
    close();
}
