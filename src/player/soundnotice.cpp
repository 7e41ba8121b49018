#include "player/soundnotice.h"

#include "common/twips.h"
#include "platform/outputcontrol.h"

#include <QTimer>

SoundNotice::SoundNotice(QWidget *window, OutputControl *outputs, const QList<QWidget *> &buttons)
    : QLabel(window),
      m_outputs(outputs),
      m_buttons(buttons),
      m_description(window->accessibleDescription()),
      m_flashTimer(new QTimer(this))
{
    m_flashTimer->setSingleShot(true);
    connect(m_flashTimer, &QTimer::timeout, this, [this] {
        m_flash.clear();
        refresh();
    });
    setObjectName(QStringLiteral("SoundNotice"));
    // The frame's top edge and the black above the first row of buttons.
    setGeometry(Twips::rect(150, 0, 8235 - 300, 225));
    setAlignment(Qt::AlignCenter);
    setAutoFillBackground(true);
    QPalette look = palette();
    look.setColor(QPalette::Window, QColor(0xC0, 0x00, 0x00));
    look.setColor(QPalette::WindowText, Qt::white);
    setPalette(look);
    QFont small = font();
    small.setPixelSize(11);
    small.setBold(true);
    setFont(small);
    hide();
    if (m_outputs)
        m_outputs->setSoundProblemHandler([this] { refresh(); });
    refresh();
}

void SoundNotice::setPlainDescription(const QString &description)
{
    m_description = description;
    if (!m_problemShown)
        parentWidget()->setAccessibleDescription(description);
}

void SoundNotice::flash(const QString &text, int ms)
{
    m_flash = text;
    m_flashTimer->start(ms);
    refresh();
}

void SoundNotice::refresh()
{
    const std::optional<QString> problem = m_outputs ? m_outputs->soundProblem() : std::nullopt;
    const QString text = problem ? tr("No sound output: %1").arg(*problem) : QString();
    const QString shown = problem ? text : m_flash;
    m_problemShown = problem.has_value();
    if (shown == this->text() && isVisibleTo(parentWidget()) == !shown.isEmpty())
        return;
    setText(shown);
    setVisible(!shown.isEmpty());
    if (!shown.isEmpty())
        raise();
    parentWidget()->setAccessibleDescription(problem ? text : m_description);
    for (QWidget *button : std::as_const(m_buttons)) {
        if (button->toolTip() != text)
            button->setToolTip(text);
    }
}
