#pragma once

#include <QFont>
#include <QList>
#include <QRect>
#include <QString>

class QLabel;
class QPushButton;
class QWidget;

// Text drawn into the fixed geometry of the classic windows. The classic bold sans serif is
// narrower than its stand-ins on Linux (Liberation Sans, DejaVu Sans), so a caption that fit
// there may not fit here: its font is stepped down until it does.

// What a caption's text box says while it is typed into: "12 characters left".
QString charactersLeftText(int left);

// The smallest point size a caption is stepped down to.
inline constexpr double kMinCaptionPointSize = 6.5;

// font, stepped down by half points (not below the minimum) until text drawn with flags fits
// box; font itself when it fits already.
QFont fittedFont(const QFont &font, const QString &text, const QRect &box, int flags);

// Where a button draws its caption, as its style lays the button out.
QRect captionRect(const QPushButton *button);
// Where a label draws its text, and with which flags.
QRect captionRect(const QLabel *label);
int captionFlags(const QLabel *label);

// Fits the font of every label and push button under window to its caption, but those in
// except (buttons that fit their changing captions themselves as they paint). A label whose
// text changes (a time display) is fitted with fitCaption to sample, the widest text it shows.
void fitCaptions(QWidget *window, const QList<QWidget *> &except = {});
void fitCaption(QLabel *label, const QString &sample);
