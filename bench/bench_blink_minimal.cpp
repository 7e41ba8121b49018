#include <QApplication>
#include <QPalette>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

// The least a Qt widgets window can do to blink a button as the wall does: a window of the wall's
// size holding one button of a cart's size, its face swapped between red and blue every 250 ms and
// painted at once. What it costs is the floor under the player window's tick.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(549, 362);
    window.setAutoFillBackground(true);
    window.setPalette(QPalette(Qt::black));
    QPushButton button(QStringLiteral("Minimal"), &window);
    button.setGeometry(16, 16, 169, 65);
    button.setAutoFillBackground(true);
    bool red = false;
    QTimer tick;
    tick.setInterval(250);
    QObject::connect(&tick, &QTimer::timeout, &button, [&] {
        red = !red;
        QPalette look = button.palette();
        look.setColor(QPalette::Button, red ? Qt::red : Qt::blue);
        button.setPalette(look);
        button.repaint();
    });
    tick.start();
    window.show();
    return app.exec();
}
