#include "carts/cartsettingsdialog.h"

#include "carts/cuetime.h"
#include "carts/waveformview.h"
#include "platform/cartplayback.h"
#include "waveform/peakloader.h"

#include <QCheckBox>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace {

constexpr double kPlayToOutSeconds = 5;

template <typename Widget>
Widget *named(Widget *widget, const char *name)
{
    widget->setObjectName(QLatin1String(name));
    return widget;
}

} // namespace

CartSettingsDialog::CartSettingsDialog(QWidget *parent, const QString &path, const QString &caption,
                                       const CartSettings &settings, CartPlaybackControl *player, bool canPreListen,
                                       double windowFade)
    : QDialog(parent),
      m_path(path),
      m_player(player),
      m_colour(settings.colour),
      m_kept(settings)
{
    setObjectName(QStringLiteral("CartSettings"));
    setWindowTitle(tr("Cart settings: %1").arg(caption.trimmed().isEmpty() ? QFileInfo(path).fileName() : caption));
    auto *layout = new QVBoxLayout(this);
    auto *file = new QLabel(QFileInfo(path).fileName(), this);
    file->setToolTip(path);
    layout->addWidget(file);
    Waveform = named(new WaveformView(this), "Waveform");
    layout->addWidget(Waveform);

    auto *form = new QFormLayout;
    layout->addLayout(form);
    auto *times = new QHBoxLayout;
    In = named(new QLineEdit(CueTime::text(settings.in), this), "In");
    Out = named(new QLineEdit(settings.out ? CueTime::text(*settings.out) : QString(), this), "Out");
    Out->setPlaceholderText(tr("the end"));
    for (QLineEdit *edit : {In, Out}) {
        edit->setToolTip(tr("Minutes, seconds and hundredths: 01.30.25"));
        edit->setMaximumWidth(110);
    }
    times->addWidget(In);
    times->addWidget(new QLabel(tr("to"), this));
    times->addWidget(Out);
    PlayFromIn = named(new QPushButton(tr("Play from in"), this), "PlayFromIn");
    PlayToOut = named(new QPushButton(tr("Play to out"), this), "PlayToOut");
    for (QPushButton *button : {PlayFromIn, PlayToOut}) {
        button->setEnabled(canPreListen && player);
        if (!button->isEnabled())
            button->setToolTip(tr("Choose a pre-listen output in the window's menu first"));
        times->addWidget(button);
    }
    times->addStretch();
    form->addRow(tr("Plays"), times);
    Problem = named(new QLabel(this), "Problem");
    Problem->setStyleSheet(QStringLiteral("color: #c00000"));
    form->addRow(QString(), Problem);

    auto *level = new QHBoxLayout;
    Level = named(new QDoubleSpinBox(this), "Level");
    Level->setRange(CartSettingsFormat::kLeastGainDb, CartSettingsFormat::kMostGainDb);
    Level->setDecimals(1);
    Level->setSingleStep(0.5);
    Level->setSuffix(tr(" dB"));
    Level->setValue(settings.gainDb);
    LevelHeld = named(new QLabel(this), "LevelHeld");
    level->addWidget(Level);
    level->addWidget(LevelHeld, 1);
    form->addRow(tr("Level"), level);

    Loop = named(new QCheckBox(tr("Loop from in to out until stopped"), this), "Loop");
    Loop->setChecked(settings.loop);
    form->addRow(QString(), Loop);
    FadeIn = named(new QDoubleSpinBox(this), "FadeIn");
    FadeIn->setRange(0, CartSettingsFormat::kLongestFade);
    FadeIn->setDecimals(2);
    FadeIn->setSuffix(tr(" s"));
    FadeIn->setValue(settings.fadeIn);
    FadeInHeld = named(new QLabel(this), "FadeInHeld");
    auto *fadeIn = new QHBoxLayout;
    fadeIn->addWidget(FadeIn);
    fadeIn->addWidget(FadeInHeld, 1);
    form->addRow(tr("Fade-in"), fadeIn);
    FadeOut = named(new QLineEdit(settings.fadeOut ? QString::number(*settings.fadeOut) : QString(), this), "FadeOut");
    FadeOut->setPlaceholderText(tr("the window's, %1 s").arg(windowFade));
    FadeOut->setMaximumWidth(160);
    form->addRow(tr("Fade-out (s)"), FadeOut);
    Note = named(new QLineEdit(settings.note, this), "Note");
    Note->setMaxLength(int(CartSettingsFormat::kMaxNoteChars));
    Note->setPlaceholderText(tr("for the operator, shown while it is the next cue of a running order"));
    form->addRow(tr("Note"), Note);

    auto *colours = new QHBoxLayout;
    Colour = named(new QPushButton(tr("Colour..."), this), "Colour");
    NoColour = named(new QPushButton(tr("Button face"), this), "NoColour");
    colours->addWidget(Colour);
    colours->addWidget(NoColour);
    colours->addStretch();
    form->addRow(tr("At rest"), colours);

    Buttons = named(new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this), "Buttons");
    layout->addWidget(Buttons);

    connect(Buttons, &QDialogButtonBox::accepted, this, [this] {
        if (isValid())
            accept();
    });
    connect(Buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    for (QLineEdit *edit : {In, Out, FadeOut})
        connect(edit, &QLineEdit::textChanged, this, &CartSettingsDialog::update);
    connect(Level, &QDoubleSpinBox::valueChanged, this, &CartSettingsDialog::update);
    connect(FadeIn, &QDoubleSpinBox::valueChanged, this, &CartSettingsDialog::update);
    connect(Waveform, &WaveformView::inDragged, this, [this](double seconds) { In->setText(CueTime::text(seconds)); });
    connect(Waveform, &WaveformView::outDragged, this,
            [this](double seconds) { Out->setText(CueTime::text(seconds)); });
    connect(PlayFromIn, &QPushButton::clicked, this, [this] { preListen(true); });
    connect(PlayToOut, &QPushButton::clicked, this, [this] { preListen(false); });
    connect(Colour, &QPushButton::clicked, this, [this] {
        // Modal to this dialog alone: the wall's keys go on working meanwhile.
        QColorDialog chooser(QColor(m_colour.isEmpty() ? QStringLiteral("#c0c0c0") : m_colour), this);
        chooser.setObjectName(QStringLiteral("ColourChooser"));
        chooser.setWindowTitle(tr("Colour at rest"));
        chooser.setWindowModality(Qt::WindowModal);
        if (chooser.exec() == QDialog::Accepted && chooser.selectedColor().isValid())
            m_colour = chooser.selectedColor().name();
        update();
    });
    connect(NoColour, &QPushButton::clicked, this, [this] {
        m_colour.clear();
        update();
    });

    m_peaks = new PeakLoader(this);
    connect(m_peaks, &PeakLoader::summaryChanged, this, [this] {
        Waveform->setSummary(m_peaks->summary());
        update();
    });
    m_peaks->load(path);
    update();
}

QString CartSettingsDialog::problem() const
{
    const std::optional<double> in = CueTime::parse(In->text());
    const std::optional<double> out = Out->text().trimmed().isEmpty() ? std::optional<double>(-1)
                                                                      : CueTime::parse(Out->text());
    if (!in)
        return tr("The in point is not a time such as 00.02.50.");
    if (!out)
        return tr("The out point is not a time such as 01.30.00 (empty: the end).");
    if (*out >= 0 && *out < *in + CartSettingsFormat::kShortestPart)
        return tr("The out point must come after the in point.");
    bool ok = true;
    const double fade = FadeOut->text().trimmed().isEmpty() ? 0 : FadeOut->text().trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(fade) || fade < 0 || fade > CartSettingsFormat::kLongestFade)
        return tr("The fade-out is a number of seconds from 0 to %1 (empty: the window's).")
            .arg(CartSettingsFormat::kLongestFade);
    return {};
}

CartSettings CartSettingsDialog::settings() const
{
    CartSettings settings;
    settings.gainDb = Level->value();
    settings.in = CueTime::parse(In->text()).value_or(0);
    if (!Out->text().trimmed().isEmpty())
        settings.out = CueTime::parse(Out->text());
    settings.loop = Loop->isChecked();
    settings.fadeIn = FadeIn->value();
    if (const std::optional<double> part = partSeconds(settings))
        settings.fadeIn = std::min(settings.fadeIn, *part);
    if (!FadeOut->text().trimmed().isEmpty())
        settings.fadeOut = FadeOut->text().trimmed().toDouble();
    settings.colour = m_colour;
    settings.note = Note->text();
    // Kept as the show has them: what this dialog does not edit.
    settings.group = m_kept.group;
    settings.duckDb = m_kept.duckDb;
    settings.followEnd = m_kept.followEnd;
    settings.followAfter = m_kept.followAfter;
    return CartSettingsFormat::clamped(settings);
}

void CartSettingsDialog::update()
{
    const QString why = problem();
    Problem->setText(why);
    Buttons->button(QDialogButtonBox::Ok)->setEnabled(why.isEmpty());
    if (why.isEmpty()) {
        const CartSettings now = settings();
        Waveform->setMarkers(now.in, now.out);
    }
    const double held = m_player ? m_player->heldGainDb(m_path, Level->value()) : Level->value();
    LevelHeld->setText(
        held < Level->value() - 0.05 ? tr("held at %1 dB: its peak stays at -1 dBTP").arg(held, 0, 'f', 1) : QString());
    const std::optional<double> part = why.isEmpty() ? partSeconds(settings()) : std::nullopt;
    FadeInHeld->setText(part && FadeIn->value() > *part + 0.005
                            ? tr("held at %1 s: the part is no longer").arg(*part, 0, 'f', 2)
                            : QString());
    NoColour->setEnabled(!m_colour.isEmpty());
    Colour->setStyleSheet(m_colour.isEmpty() ? QString() : QStringLiteral("background: %1").arg(m_colour));
}

std::optional<double> CartSettingsDialog::partSeconds(const CartSettings &settings) const
{
    // Without an out point the part ends with the file, known once its waveform is summarised.
    if (!settings.out && !m_peaks)
        return std::nullopt;
    const PeakSummary summary = m_peaks ? m_peaks->summary() : PeakSummary{};
    const std::optional<double> end = settings.out ? settings.out
        : summary.complete() && summary.rate > 0   ? std::optional<double>(double(summary.frames) / summary.rate)
                                                   : std::nullopt;
    if (!end || *end <= settings.in)
        return std::nullopt;
    return *end - settings.in;
}

void CartSettingsDialog::preListen(bool fromIn)
{
    if (!m_player || !isValid())
        return;
    const CartSettings now = settings();
    CartPlayback part = now.playback();
    if (!fromIn) {
        const double end = now.out.value_or(double(m_peaks->summary().frames) / std::max(m_peaks->summary().rate, 1));
        part.in = std::max(now.in, end - kPlayToOutSeconds);
        part.fadeIn = 0;
    }
    m_player->preListenPart(m_path, part);
}
