#include "firstpaint.h"

#include <QApplication>
#include <QPushButton>
#include <QWidget>

// Qt's own minimal widgets program, a push button with a caption. With "--empty", a bare window
// instead: it never draws text, so it never loads a font, which any real window must.
int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const bool empty = argc > 1 && QByteArray(argv[1]) == "--empty";
    QPushButton button(QStringLiteral("Hello world!"));
    QWidget bare;
    QWidget &window = empty ? bare : static_cast<QWidget &>(button);
    window.resize(549, 362);
    FirstPaint watcher;
    window.installEventFilter(&watcher);
    window.show();
    return app.exec();
}
