#include "midi/midimenu.h"

#include "midi/midicontrol.h"
#include "midi/midilights.h"

#include <QActionGroup>
#include <QMenu>
#include <QMessageBox>

MidiMenu::MidiMenu(MidiControl &control, QWidget *window, QMenu *menu)
    : QObject(window),
      m_control(control),
      m_window(window),
      m_menu(menu->addMenu(tr("MIDI")))
{
    m_menu->setObjectName(QStringLiteral("MidiMenu"));
    connect(m_menu, &QMenu::aboutToShow, this, &MidiMenu::fill);
    fill(); // so that its items can be found before it first opens
    connect(&m_control, &MidiControl::learnt, this,
            [this](const MidiBinding &binding, const std::optional<MidiAction> &moved) {
                if (!m_dialog)
                    return;
                QString text = tr("%1 of %2 now plays %3.")
                                   .arg(binding.input.description(),
                                        binding.device.isEmpty() ? tr("any device") : binding.device,
                                        binding.action.description());
                if (moved)
                    text += QLatin1Char('\n')
                        + tr("It was bound to %1 before; that binding is gone.").arg(moved->description());
                m_dialog->setText(text);
                m_dialog->setStandardButtons(QMessageBox::Ok);
            });
    connect(&m_control, &MidiControl::learningEnded, this, [this] {
        // Unanswered (Esc, 10 s): the window goes; bound: it stays to say what was bound.
        if (m_dialog && m_dialog->standardButtons() == QMessageBox::Cancel)
            m_dialog->close();
    });
}

void MidiMenu::addCartItems(QMenu *menu, int index)
{
    if (!m_control.available())
        return;
    const MidiAction action{MidiAction::Kind::Fire, 0, index + 1};
    QAction *learn = menu->addAction(tr("Learn MIDI..."), this, [this, action] { this->learn(action); });
    learn->setObjectName(QStringLiteral("LearnMidi"));
    const std::optional<MidiBinding> bound = m_control.map().bindingFor(action);
    QAction *forget = menu->addAction(bound ? tr("Forget MIDI (%1)").arg(bound->input.description())
                                            : tr("Forget MIDI"),
                                      this, [this, action] { m_control.forget(action); });
    forget->setObjectName(QStringLiteral("ForgetMidi"));
    forget->setEnabled(bool(bound));
}

void MidiMenu::fill()
{
    m_menu->clear();
    if (!m_control.available()) {
        m_menu->addAction(m_control.problem().isEmpty() ? tr("No MIDI") : m_control.problem())->setEnabled(false);
        return;
    }
    const MidiAction actions[] = {{MidiAction::Kind::Go, 0, 0},
                                  {MidiAction::Kind::StopAll, 0, 0},
                                  {MidiAction::Kind::Stop, 0, 0},
                                  {MidiAction::Kind::Fade, 0, 0},
                                  {MidiAction::Kind::NextPage, 0, 0},
                                  {MidiAction::Kind::PreviousPage, 0, 0},
                                  {MidiAction::Kind::Page, m_control.shownPage(), 0}};
    for (const MidiAction &action : actions) {
        m_menu->addAction(tr("Learn MIDI for %1...").arg(action.description()), this, [this, action] { learn(action); })
            ->setObjectName(QStringLiteral("LearnMidi:") + action.text());
        if (const std::optional<MidiBinding> bound = m_control.map().bindingFor(action))
            m_menu
                ->addAction(tr("Forget MIDI for %1 (%2)").arg(action.description(), bound->input.description()), this,
                            [this, action] { m_control.forget(action); })
                ->setObjectName(QStringLiteral("ForgetMidi:") + action.text());
    }
    m_menu->addSeparator();
    const QStringList devices = m_control.knownDevices();
    if (devices.isEmpty())
        m_menu->addAction(tr("No MIDI device"))->setEnabled(false);
    for (const QString &device : devices) {
        const QString title = m_control.isPresent(device) ? device : tr("%1 (missing)").arg(device);
        QMenu *profiles = m_menu->addMenu(title);
        profiles->setObjectName(QStringLiteral("MidiDevice:") + device);
        auto *group = new QActionGroup(profiles);
        const QString chosen = m_control.map().profileOf(device);
        const auto add = [&](const QString &text, const QString &profile) {
            QAction *item = profiles->addAction(text, this,
                                                [this, device, profile] { m_control.setProfile(device, profile); });
            item->setCheckable(true);
            item->setChecked(chosen == profile);
            group->addAction(item);
        };
        add(tr("Lights as its name suggests (%1)").arg(MidiLights::profileName(MidiLights::profileFor(device))),
            QString());
        for (const QString &profile : MidiLights::profiles())
            add(MidiLights::profileName(profile), profile);
    }
}

void MidiMenu::learn(const MidiAction &action)
{
    if (m_dialog)
        m_dialog->close();
    m_dialog = new QMessageBox(QMessageBox::Information, tr("Learn MIDI"),
                               tr("Press a pad, a key or a control for %1.\n\nEsc cancels; so do ten seconds "
                                  "without a press. Nothing fires meanwhile.")
                                   .arg(action.description()),
                               QMessageBox::Cancel, m_window);
    m_dialog->setObjectName(QStringLiteral("LearnMidiWindow"));
    m_dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_dialog, &QMessageBox::rejected, &m_control, &MidiControl::cancelLearning);
    m_control.learn(action);
    m_dialog->open();
}
