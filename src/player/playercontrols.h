#pragma once

#include "common/colours.h"
#include "tracklist/trackslot.h"

#include <QList>
#include <QString>

#include <functional>
#include <utility>

#include <array>
#include <optional>

class QFont;
class QMenu;
class QLabel;
class QPushButton;
class QRect;
class QWidget;
class TrackButton;

// The player window's plain controls, made as its design has them.
namespace PlayerControls {

// A centred, word-wrapped label, yellow on black, named name; label (made by the caller, of
// whatever QLabel kind) gets the rest.
QLabel *styleLabel(QLabel *label, const char *name, QRect geometry, const QFont &font);

// A push button named name, described to screen readers as description.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, QRect geometry, const QFont &font,
                        const QString &description);

// A submenu of menu titled title (object name name) whose items (text, value) are checked one at
// a time: the one equal to current() when it opens; choosing one calls choose with its value.
void addChoiceMenu(QMenu *menu, const QString &title, const char *name, const QList<std::pair<QString, int>> &items,
                   const std::function<int()> &current, const std::function<void(int)> &choose);

// Gives the buttons records as the window loads its list: a slot without a record says so
// ("None Selected") and stays enabled; one without a path is disabled.
void showRecords(const std::array<TrackButton *, 12> &buttons, const QList<TrackSlot> &records);

// The playing button's next colour of its blink, shown now.
void blink(TrackButton *button);

// Locks every track button in silver while a cart plays elsewhere; the pressable one (the
// playing cart's, on its own page) stays enabled and shows red, as its blink goes on.
template <typename Buttons>
void lockAll(const Buttons &buttons, std::optional<int> pressable)
{
    for (auto *button : buttons) {
        button->setBackColor(Colours::Silver);
        button->setEnabled(false);
    }
    if (pressable) {
        buttons[*pressable]->setEnabled(true);
        buttons[*pressable]->setBackColor(Colours::Red);
    }
}

// The function key of slot (0-11), F1 to F12: a click on its button, when that may be pressed.
void clickForKey(const std::array<TrackButton *, 12> &buttons, int slot);

} // namespace PlayerControls
