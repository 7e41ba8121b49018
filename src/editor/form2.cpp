#include "editor/form2.h"

#include "common/captionfit.h"
#include "common/classicfont.h"
#include "common/colours.h"
#include "common/module1.h"
#include "common/shape.h"
#include "common/twips.h"
#include "common/windowlook.h"
#include "common/usermessage.h"
#include "common/windowmover.h"
#include "editor/noquotevalidator.h"
#include "platform/opendialog.h"
#include "tracklist/trackstore.h"

#include <QCloseEvent>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>

using namespace Colours;
using namespace Module1;

namespace {

constexpr int kShortNameMaxLength = 20;

QLabel *makeHeading(QWidget *parent, const char *name, const QString &text, QRect geometry, Qt::Alignment align)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(align | Qt::AlignVCenter);
    label->setFont(classicFont(8.25));
    return label;
}

} // namespace

Form2::Form2(QWidget *player, TrackStore &store, OpenDialog &openDialog)
    : QWidget(player, Qt::Tool | Qt::FramelessWindowHint),
      m_store(store),
      CDiag(openDialog)
{
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    Form_Load();
}

void Form2::buildControls()
{
    applyWindowLook(this, QStringLiteral("Form2"), QStringLiteral("Select and save"), QSize(9135, 3975), Qt::black);
    QPalette whiteText = palette();
    whiteText.setColor(QPalette::WindowText, Qt::white);
    setPalette(whiteText);

    Shape1 = new Shape(colour(DarkBlue), 10, std::nullopt, this);
    Shape1->setObjectName(QStringLiteral("Shape1"));
    Shape1->setGeometry(rect());

    Label1 = makeHeading(this, "Label1", QStringLiteral("Full Path"), Twips::rect(1200, 240, 1095, 255), Qt::AlignLeft);
    Label2 = makeHeading(this, "Label2", QStringLiteral("Find"), Twips::rect(5760, 240, 495, 255), Qt::AlignHCenter);
    Label3 = makeHeading(this, "Label3", QStringLiteral("Short Name"), Twips::rect(6360, 240, 1215, 255),
                         Qt::AlignLeft);

    QPalette silver = palette();
    silver.setColor(QPalette::Button, colour(Silver));
    silver.setColor(QPalette::ButtonText, Qt::black);
    auto *validator = new NoQuoteValidator(this);
    for (int n = 0; n < SlotCount; ++n) {
        const int top = 480 + 240 * n;
        LblTrackNo[n] = new QLabel(this);
        LblTrackNo[n]->setObjectName(QStringLiteral("LblTrackNo(%1)").arg(n));
        LblTrackNo[n]->setGeometry(Twips::rect(240, top, 855, 255));
        LblTrackNo[n]->setAlignment(Qt::AlignCenter);

        TxtTrack[n] = new QLineEdit(this);
        TxtTrack[n]->setObjectName(QStringLiteral("TxtTrack(%1)").arg(n));
        TxtTrack[n]->setGeometry(Twips::rect(1200, top, 4575, 285));
        TxtTrack[n]->setValidator(validator);
        TxtTrack[n]->setAccessibleDescription(QStringLiteral("Track %1 full path").arg(n + 1, 2, 10, QLatin1Char('0')));
        TxtTrack[n]->installEventFilter(this); // its tooltip: the file's note

        CmdFindTrack[n] = new QPushButton(QStringLiteral("..."), this);
        CmdFindTrack[n]->setObjectName(QStringLiteral("CmdFindTrack(%1)").arg(n));
        CmdFindTrack[n]->setGeometry(Twips::rect(5880, top, 255, 255));
        CmdFindTrack[n]->setAccessibleDescription(
            QStringLiteral("Browse for track %1").arg(n + 1, 2, 10, QLatin1Char('0')));
        connect(CmdFindTrack[n], &QPushButton::clicked, this, [this, n] { CmdFindTrack_Click(n); });

        TxtShortName[n] = new QLineEdit(this);
        TxtShortName[n]->setObjectName(QStringLiteral("TxtShortName(%1)").arg(n));
        TxtShortName[n]->setGeometry(Twips::rect(6240, top, 2295, 285));
        TxtShortName[n]->setMaxLength(kShortNameMaxLength);
        TxtShortName[n]->setValidator(validator);
        TxtShortName[n]->setAccessibleDescription(
            QStringLiteral("Track %1 short name").arg(n + 1, 2, 10, QLatin1Char('0')));
        TxtShortName[n]->installEventFilter(this);
        connect(TxtShortName[n], &QLineEdit::textEdited, this, [this, n] { showCharactersLeft(n); });

        CmdDelete[n] = new QPushButton(QStringLiteral("X"), this);
        CmdDelete[n]->setObjectName(QStringLiteral("CmdDelete(%1)").arg(n));
        CmdDelete[n]->setGeometry(Twips::rect(8640, top, 255, 255));
        CmdDelete[n]->setPalette(silver);
        CmdDelete[n]->setAutoFillBackground(true);
        CmdDelete[n]->setAccessibleDescription(QStringLiteral("Clear track %1").arg(n + 1, 2, 10, QLatin1Char('0')));
        connect(CmdDelete[n], &QPushButton::clicked, this, [this, n] { CmdDelete_Click(n); });
    }

    CmdCancel = new QPushButton(QStringLiteral("&Cancel"), this);
    CmdCancel->setObjectName(QStringLiteral("CmdCancel"));
    CmdCancel->setGeometry(Twips::rect(1200, 3480, 975, 375));
    connect(CmdCancel, &QPushButton::clicked, this, &Form2::CmdCancel_Click);
    CmdExit = new QPushButton(QStringLiteral("Save and E&xit"), this);
    CmdExit->setObjectName(QStringLiteral("CmdExit"));
    CmdExit->setGeometry(Twips::rect(6240, 3480, 2295, 375));
    connect(CmdExit, &QPushButton::clicked, this, &Form2::CmdExit_Click);

    // Each box is taller than the row pitch, so neighbours overlap. Stacked with the upper row
    // on top, every box keeps its lower part in view, where its text sits whole, descenders
    // included; only its top border goes under the box above.
    for (int n = SlotCount - 1; n >= 0; --n) {
        TxtTrack[n]->raise();
        TxtShortName[n]->raise();
    }

    new WindowMover(this);

    QList<QWidget *> tabOrder;
    for (QLineEdit *box : TxtTrack)
        tabOrder.append(box);
    for (QPushButton *button : CmdFindTrack)
        tabOrder.append(button);
    for (QLineEdit *box : TxtShortName)
        tabOrder.append(box);
    tabOrder.append(CmdCancel);
    tabOrder.append(CmdExit);
    for (QPushButton *button : CmdDelete)
        tabOrder.append(button);
    for (qsizetype i = 1; i < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i - 1], tabOrder[i]);
}

void Form2::Form_Load()
{
    CentreOnScreen(this);
    for (int n = 0; n < SlotCount; ++n)
        LblTrackNo[n]->setText(QStringLiteral("Track %1").arg(n + 1, 2, 10, QLatin1Char('0')));
    fitCaptions(this);
}

void Form2::setRow(int n, const TrackSlot &slot)
{
    TxtTrack[n]->setText(slot.fullPath);
    TxtTrack[n]->setCursorPosition(0);
    // The limit is for typing; a longer name from the file is kept whole rather than cut on save.
    TxtShortName[n]->setMaxLength(std::max<int>(kShortNameMaxLength, int(slot.shortName.size())));
    TxtShortName[n]->setText(slot.shortName);
    TxtShortName[n]->setCursorPosition(0);
}

TrackSlot Form2::row(int n) const
{
    return {TxtTrack[n]->text(), TxtShortName[n]->text()};
}

void Form2::showCharactersLeft(int n)
{
    // A tip beside the box while it is typed into, so the window keeps its look.
    QLineEdit *box = TxtShortName[n];
    const int left = std::max(box->maxLength() - int(box->text().size()), 0);
    QToolTip::showText(box->mapToGlobal(QPoint(0, box->height())), charactersLeftText(left), box);
}

bool Form2::eventFilter(QObject *watched, QEvent *event)
{
    // Asked for as the tooltip shows, so it says what is known now ("measuring", then the result).
    if (event->type() == QEvent::ToolTip && m_fileNotes) {
        for (int n = 0; n < SlotCount; ++n) {
            if (watched != TxtTrack[n] && watched != TxtShortName[n])
                continue;
            const QString path = trimSpaces(TxtTrack[n]->text());
            const QString note = path.isEmpty() ? QString() : m_fileNotes(path);
            if (note.isEmpty())
                QToolTip::hideText();
            else
                QToolTip::showText(static_cast<QHelpEvent *>(event)->globalPos(), note,
                                   static_cast<QWidget *>(watched));
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void Form2::showModal()
{
    // The player window takes no clicks while the editor is open; the wall's keys still reach it.
    setWindowModality(Qt::WindowModal);
    show();
    raise();
    activateWindow();
}

void Form2::CmdFindTrack_Click(int n)
{
    CDiag.setFilter(QStringLiteral("*.mp3"));
    // A cancelled dialog leaves the row as it was instead of wiping its path.
    if (!CDiag.showOpen())
        return;
    const QString chosen = trimSpaces(CDiag.fileName());
    if (chosen.contains(QLatin1Char('"'))) {
        warnUser(this,
                 tr("The file was not taken: the track list cannot store a path holding a "
                    "double quote (\").\n\n%1")
                     .arg(chosen));
        return;
    }
    TxtTrack[n]->setText(chosen);
    TxtTrack[n]->setCursorPosition(0);
}

void Form2::CmdDelete_Click(int n)
{
    TxtShortName[n]->setText(QString());
    TxtTrack[n]->setText(QString());
}

void Form2::CmdCancel_Click()
{
    unload();
}

void Form2::CmdExit_Click()
{
    TrackList tracks;
    for (int n = 0; n < SlotCount; ++n)
        tracks[n] = row(n);
    // On failure nothing has changed: the user is told why and keeps the edits to try again.
    QString error;
    if (m_store.save(tracks, &error))
        unload();
    else
        warnUser(this, tr("The track list could not be saved.\n\n%1").arg(error));
}

void Form2::unload()
{
    close();
}

void Form2::closeEvent(QCloseEvent *event)
{
    event->accept();
    emit unloaded();
}
