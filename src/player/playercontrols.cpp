#include "player/playercontrols.h"

#include "common/colours.h"

#include "player/trackbutton.h"

#include <QActionGroup>
#include <QCoreApplication>
#include <QMenu>
#include <QLabel>
#include <QPushButton>

namespace PlayerControls {

QLabel *styleLabel(QLabel *label, const char *name, QRect geometry, const QFont &font)
{
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    label->setAlignment(Qt::AlignCenter);
    label->setWordWrap(true);
    label->setFont(font);
    label->setAutoFillBackground(true);
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, Qt::black);
    palette.setColor(QPalette::WindowText, Colours::colour(Colours::Yellow));
    label->setPalette(palette);
    return label;
}

void addChoiceMenu(QMenu *menu, const QString &title, const char *name, const QList<std::pair<QString, int>> &items,
                   const std::function<int()> &current, const std::function<void(int)> &choose)
{
    QMenu *submenu = menu->addMenu(title);
    submenu->setObjectName(QLatin1String(name));
    auto *group = new QActionGroup(submenu);
    for (const auto &[text, value] : items) {
        QAction *action = submenu->addAction(text);
        action->setCheckable(true);
        action->setData(value);
        group->addAction(action);
        QObject::connect(action, &QAction::triggered, submenu, [choose, value = value] { choose(value); });
    }
    QObject::connect(submenu, &QMenu::aboutToShow, submenu, [submenu, current] {
        const int now = current();
        for (QAction *action : submenu->actions())
            action->setChecked(action->data().toInt() == now);
    });
}

void showRecords(const std::array<TrackButton *, 12> &buttons, const QList<TrackSlot> &records)
{
    for (TrackButton *button : buttons) {
        button->setText(QStringLiteral("None Selected"));
        button->setTag(QString());
        button->setEnabled(true);
    }
    buttons[0]->setTag(QStringLiteral("c:\\mp3_music\\track4.mp3"));
    for (int n = 0; n < records.size() && n < int(buttons.size()); ++n) {
        buttons[n]->setText(records[n].shortName);
        buttons[n]->setTag(records[n].fullPath);
        if (trimSpaces(buttons[n]->tag()).isEmpty())
            buttons[n]->setEnabled(false);
    }
}

void blink(TrackButton *button)
{
    button->setBackColor(button->backColor() == Colours::Red ? Colours::Blue : Colours::Red);
    // Painted at once rather than from a later pass of the event loop, and together with what
    // else the tick changed (the remaining time's digits): one paint and one flush to the
    // screen a tick, which is most of what the window costs while a track plays.
    QCoreApplication::sendPostedEvents(button->window(), QEvent::UpdateRequest);
}

QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, QRect geometry, const QFont &font,
                        const QString &description)
{
    auto *button = new QPushButton(text, parent);
    button->setObjectName(QLatin1String(name));
    button->setGeometry(geometry);
    button->setFont(font);
    button->setAccessibleDescription(description);
    return button;
}

void clickForKey(const std::array<TrackButton *, 12> &buttons, int slot)
{
    if (slot >= 0 && slot < int(buttons.size()) && buttons[size_t(slot)]->isEnabled())
        buttons[size_t(slot)]->click();
}

} // namespace PlayerControls
