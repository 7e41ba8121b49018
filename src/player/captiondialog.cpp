#include "player/captiondialog.h"

#include "common/captionfit.h"
#include "editor/noquotevalidator.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

CaptionDialog::CaptionDialog(QWidget *parent, int slot, const QString &caption)
    : QDialog(parent),
      m_text(new QLineEdit(this)),
      m_left(new QLabel(this))
{
    setObjectName(QStringLiteral("RenameCart"));
    setWindowTitle(tr("Rename cart"));
    auto *layout = new QVBoxLayout(this);
    auto *label = new QLabel(tr("Caption of cart %1:").arg(slot + 1), this);
    label->setBuddy(m_text);
    layout->addWidget(label);
    m_text->setObjectName(QStringLiteral("Caption"));
    m_text->setMaxLength(kMaxLength);
    m_text->setValidator(new NoQuoteValidator(m_text));
    // A caption stored longer than the limit (a hand-edited list) is shown whole until edited.
    m_text->setText(QString(caption).remove(QLatin1Char('"')).left(kMaxLength));
    m_text->selectAll();
    layout->addWidget(m_text);
    m_left->setObjectName(QStringLiteral("CharactersLeft"));
    layout->addWidget(m_left);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    connect(m_text, &QLineEdit::textChanged, this, &CaptionDialog::showLeft);
    showLeft();
}

std::optional<QString> CaptionDialog::ask(QWidget *parent, int slot, const QString &caption)
{
    CaptionDialog dialog(parent, slot, caption);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    return dialog.caption();
}

QString CaptionDialog::caption() const
{
    return m_text->text().trimmed();
}

void CaptionDialog::showLeft()
{
    const int left = kMaxLength - int(m_text->text().size());
    m_left->setText(charactersLeftText(left));
}
