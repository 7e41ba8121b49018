#pragma once

#include <QString>

class QFont;
class QLabel;
class QPushButton;
class QRect;
class QWidget;

// The player window's plain controls, made as its design has them.
namespace PlayerControls {

// A centred, word-wrapped label, yellow on black, named name; label (made by the caller, of
// whatever QLabel kind) gets the rest.
QLabel *styleLabel(QLabel *label, const char *name, QRect geometry, const QFont &font);

// A push button named name.
QPushButton *makeButton(QWidget *parent, const char *name, const QString &text, QRect geometry, const QFont &font);

} // namespace PlayerControls
