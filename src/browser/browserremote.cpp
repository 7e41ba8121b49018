#include "browser/browserremote.h"

#include "browser/qrimage.h"
#include "common/settings.h"

#include <QAction>
#include <QActionGroup>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkInterface>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

BrowserRemote::BrowserRemote(CommandSurface &commands, QWidget *window, QMenu *menu)
    : QObject(window),
      m_window(window),
      m_server(commands, m_pairing, this),
      m_menu(menu->addMenu(tr("Browser remote")))
{
    m_menu->setObjectName(QStringLiteral("BrowserRemote"));
    connect(m_menu, &QMenu::aboutToShow, this, &BrowserRemote::fill);
    apply();
}

void BrowserRemote::apply()
{
    const Settings settings;
    m_problem.clear();
    if (!settings.remoteEnabled()) {
        m_server.close();
    } else {
        QHostAddress address;
        if (!address.setAddress(settings.remoteListen()))
            address = QHostAddress(QHostAddress::LocalHost); // a malformed address is the default
        m_server.setExtraHosts(settings.remoteHosts());
        if (!m_server.isListening() || m_server.address() != address || m_server.port() != settings.remotePort()) {
            QString why;
            if (!m_server.listen(address, settings.remotePort(), &why))
                m_problem =
                    tr("cannot listen on %1:%2 (%3)").arg(address.toString()).arg(settings.remotePort()).arg(why);
        }
    }
    fill();
}

QString BrowserRemote::pin() const
{
    return m_server.isListening() ? m_pairing.pin() : QString();
}

QString BrowserRemote::address() const
{
    if (!m_server.isListening())
        return {};
    QString host = m_server.address().toString();
    if (m_server.address() == QHostAddress::AnyIPv4 || m_server.address() == QHostAddress::Any) {
        // A phone needs an address it can reach: the first of the machine's own.
        host = QStringLiteral("127.0.0.1");
        for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
            if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback()) {
                host = address.toString();
                break;
            }
        }
    }
    return QStringLiteral("http://%1:%2/").arg(host).arg(m_server.port());
}

void BrowserRemote::fill()
{
    m_menu->clear();
    Settings settings;
    const bool on = settings.remoteEnabled();
    QString title = tr("Browser remote (off)");
    if (on && m_server.isListening())
        title = tr("Browser remote on %1").arg(address());
    else if (on)
        title = tr("Browser remote: %1").arg(m_problem);
    QAction *toggle = m_menu->addAction(title);
    toggle->setObjectName(QStringLiteral("BrowserRemoteOn"));
    toggle->setCheckable(true);
    toggle->setChecked(on);
    connect(toggle, &QAction::triggered, this, [this](bool checked) {
        Settings().setRemoteEnabled(checked);
        apply();
    });

    QMenu *listen = m_menu->addMenu(tr("Listen on"));
    auto *group = new QActionGroup(listen);
    const QString chosen = settings.remoteListen();
    const auto add = [&](const QString &text, const QString &address) {
        QAction *item = listen->addAction(text, this, [this, address] {
            Settings().setRemoteListen(address);
            apply();
        });
        item->setCheckable(true);
        item->setChecked(chosen == address);
        group->addAction(item);
    };
    add(tr("This machine only (127.0.0.1)"), QStringLiteral("127.0.0.1"));
    for (const QHostAddress &address : QNetworkInterface::allAddresses()) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol && !address.isLoopback())
            add(address.toString(), address.toString());
    }
    add(tr("Every interface (0.0.0.0)"), QStringLiteral("0.0.0.0"));

    QAction *pair = m_menu->addAction(tr("Pair a phone or tablet..."), this, [this] { showPairing(); });
    pair->setObjectName(QStringLiteral("PairBrowser"));
    pair->setEnabled(m_server.isListening());

    QMenu *devices = m_menu->addMenu(tr("Paired devices"));
    devices->setObjectName(QStringLiteral("PairedDevices"));
    const QList<PairedDevice> paired = m_pairing.devices();
    if (paired.isEmpty())
        devices->addAction(tr("None"))->setEnabled(false);
    for (const PairedDevice &device : paired) {
        const QString seen = device.lastSeen.isValid()
            ? device.lastSeen.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"))
            : tr("never");
        const QString hash = device.hash;
        devices->addAction(tr("Revoke %1 (last seen %2)").arg(device.name, seen), this, [this, hash] {
            m_pairing.revoke(hash);
            m_server.dropDevice(hash);
        });
    }
}

QDialog *BrowserRemote::showPairing()
{
    if (m_dialog) {
        m_dialog->raise();
        return m_dialog;
    }
    auto *dialog = new QDialog(m_window);
    dialog->setObjectName(QStringLiteral("PairingWindow"));
    dialog->setWindowTitle(tr("Pair a phone or tablet"));
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    auto *layout = new QVBoxLayout(dialog);
    auto *intro = new QLabel(tr("Open this address in the phone's or tablet's browser (or scan the code), then enter "
                                "the PIN:"),
                             dialog);
    intro->setWordWrap(true);
    layout->addWidget(intro);
    // The code carries a pairing key of its own: scanned from this screen, it pairs whatever
    // wrong PINs others tried.
    auto *code = new QLabel(dialog);
    code->setObjectName(QStringLiteral("QrCode"));
    code->setAlignment(Qt::AlignCenter);
    layout->addWidget(code);
    auto *url = new QLabel(address(), dialog);
    url->setObjectName(QStringLiteral("Address"));
    url->setTextInteractionFlags(Qt::TextSelectableByMouse);
    url->setAlignment(Qt::AlignCenter);
    layout->addWidget(url);
    auto *pin = new QLabel(dialog);
    pin->setObjectName(QStringLiteral("Pin"));
    QFont large = pin->font();
    large.setPointSizeF(large.pointSizeF() * 2);
    large.setBold(true);
    pin->setFont(large);
    pin->setAlignment(Qt::AlignCenter);
    layout->addWidget(pin);
    auto *tries = new QLabel(dialog);
    tries->setObjectName(QStringLiteral("WrongTries"));
    tries->setAlignment(Qt::AlignCenter);
    tries->setWordWrap(true);
    layout->addWidget(tries);
    const auto show = [this, code, pin, tries] {
        code->setPixmap(QPixmap::fromImage(qrImage(address() + QStringLiteral("#pair=") + m_pairing.key(), 5)));
        pin->setText(tr("PIN %1").arg(m_pairing.pin()));
        const int wrong = m_pairing.wrongTries();
        tries->setText(wrong == 0 ? QString()
                                  : tr("%n wrong PIN(s) tried since Kelvo started; after too many the PIN changes.",
                                       nullptr, wrong));
        tries->setVisible(wrong > 0);
    };
    show();
    m_pairing.setChangedHandler(show);
    connect(dialog, &QObject::destroyed, this, [this] { m_pairing.setChangedHandler({}); });
    auto *close = new QPushButton(tr("Close"), dialog);
    connect(close, &QPushButton::clicked, dialog, &QDialog::close);
    layout->addWidget(close);
    m_dialog = dialog;
    dialog->show();
    return dialog;
}
