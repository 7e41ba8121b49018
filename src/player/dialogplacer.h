#pragma once

#include <QObject>
#include <QPointer>

class QWidget;

// Every dialog the program shows opens centred on the player window (clamped to the screen it
// is on), wherever its parent is and whether or not it has one: a wall on a large screen must not
// ask its question in a far corner. The editor and the about box are windows of their own, placed
// as they always were.
class DialogPlacer : public QObject
{
    Q_OBJECT

public:
    explicit DialogPlacer(QWidget *window);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QPointer<QWidget> m_window;
};
