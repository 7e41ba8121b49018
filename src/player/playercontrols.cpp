#include "player/playercontrols.h"

#include "common/colours.h"

#include "player/trackbutton.h"

#include <QKeyEvent>
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

bool clickForKey(const std::array<TrackButton *, 12> &buttons, QKeyEvent *event)
{
    const int n = event->key() - Qt::Key_F1;
    if (n < 0 || n >= int(buttons.size()) || event->modifiers() != Qt::NoModifier)
        return false;
    if (buttons[n]->isEnabled())
        buttons[n]->click();
    return true;
}

} // namespace PlayerControls
