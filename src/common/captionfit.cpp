#include "common/captionfit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionButton>

namespace {

bool fits(const QFont &font, const QString &text, const QRect &box, int flags)
{
    // Whole pixels, as the text is laid out when it is drawn.
    const QRect needed = QFontMetrics(font).boundingRect(box, flags, text);
    return needed.width() <= box.width() && needed.height() <= box.height();
}

} // namespace

QFont fittedFont(const QFont &font, const QString &text, const QRect &box, int flags)
{
    QFont fitted = font;
    if (text.isEmpty() || box.isEmpty() || fitted.pointSizeF() <= 0)
        return fitted;
    while (!fits(fitted, text, box, flags) && fitted.pointSizeF() - 0.5 >= kMinCaptionPointSize)
        fitted.setPointSizeF(fitted.pointSizeF() - 0.5);
    return fitted;
}

QRect captionRect(const QPushButton *button)
{
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    return button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
}

QRect captionRect(const QLabel *label)
{
    const int margin = label->margin();
    return label->contentsRect().adjusted(margin, margin, -margin, -margin);
}

int captionFlags(const QLabel *label)
{
    return int(label->alignment()) | (label->wordWrap() ? Qt::TextWordWrap : 0);
}

void fitCaption(QLabel *label, const QString &sample)
{
    label->setFont(fittedFont(label->font(), sample, captionRect(label), captionFlags(label)));
}

void fitCaptions(QWidget *window, const QList<QWidget *> &except)
{
    for (QLabel *label : window->findChildren<QLabel *>()) {
        if (!except.contains(label))
            fitCaption(label, label->text());
    }
    for (QPushButton *button : window->findChildren<QPushButton *>()) {
        if (except.contains(button))
            continue;
        const QRect box = captionRect(button);
        button->setFont(fittedFont(button->font(), button->text(), box, Qt::AlignCenter | Qt::TextShowMnemonic));
    }
}

QString charactersLeftText(int left)
{
    return left == 1 ? QObject::tr("1 character left") : QObject::tr("%1 characters left").arg(left);
}
