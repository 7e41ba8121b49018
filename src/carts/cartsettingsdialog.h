#pragma once

#include "show/cartsettings.h"

#include <QDialog>

class CartPlaybackControl;
class QCheckBox;
class QDialogButtonBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class PeakLoader;
class WaveformView;

// "Cart settings": a cart's level, its in and out points on its file's waveform, loop, fade-in,
// its own fade-out and its colour at rest. The waveform is made in the background and drawn as
// it arrives, so the dialog opens at once whatever the file's length. "Play from in" and "Play to
// out" (the last 5 s before out) go to the pre-listen output. In at or past out is refused.
class CartSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    // player may be null (then no level is held back, and nothing pre-listens); canPreListen says
    // whether there is a pre-listen output; windowFade is the window's fade-out length.
    CartSettingsDialog(QWidget *parent, const QString &path, const QString &caption, const CartSettings &settings,
                       CartPlaybackControl *player, bool canPreListen, double windowFade);

    // The settings as edited (valid only while accepted() could be true: see isValid()).
    CartSettings settings() const;
    bool isValid() const { return problem().isEmpty(); }

private:
    QString problem() const;
    void update();
    void preListen(bool fromIn);
    // How long the part of settings is, once known.
    std::optional<double> partSeconds(const CartSettings &settings) const;

    QString m_path;
    CartPlaybackControl *m_player;
    QString m_colour;
    CartSettings m_kept; // as the dialog opened: what it does not edit is kept so
    PeakLoader *m_peaks = nullptr;

    WaveformView *Waveform = nullptr;
    QDoubleSpinBox *Level = nullptr;
    QLabel *LevelHeld = nullptr;
    QLabel *FadeInHeld = nullptr;
    QLineEdit *Note = nullptr;
    QLineEdit *In = nullptr;
    QLineEdit *Out = nullptr;
    QLabel *Problem = nullptr;
    QCheckBox *Loop = nullptr;
    QDoubleSpinBox *FadeIn = nullptr;
    QLineEdit *FadeOut = nullptr;
    QPushButton *Colour = nullptr;
    QPushButton *NoColour = nullptr;
    QPushButton *PlayFromIn = nullptr;
    QPushButton *PlayToOut = nullptr;
    QDialogButtonBox *Buttons = nullptr;
};
