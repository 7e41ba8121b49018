#include "common/usermessage.h"

#include <QMessageBox>

void warnUser(QWidget *parent, const QString &text)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Kelvo"), text, QMessageBox::Ok, parent);
    box->setObjectName(QStringLiteral("KelvoMessage"));
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}
