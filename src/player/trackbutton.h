#pragma once

#include <QPushButton>

// A large track button in the graphical style: it paints its own back colour on every Qt
// style, carries the slot's full path as its tag, and reports mouse moves without a click.
class TrackButton : public QPushButton
{
    Q_OBJECT
    Q_PROPERTY(QString tag READ tag WRITE setTag)
    Q_PROPERTY(quint32 backColor READ backColor WRITE setBackColor)

public:
    explicit TrackButton(QWidget *parent = nullptr);

    QString tag() const { return m_tag; }
    void setTag(const QString &tag) { m_tag = tag; }

    // A stored colour value (0x00BBGGRR, or the button-face value).
    quint32 backColor() const { return m_backColor; }
    void setBackColor(quint32 value);

signals:
    // The mouse moved over the button, pressed or not.
    void mouseMoved();

protected:
    void paintEvent(QPaintEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;

private:
    QString m_tag;
    quint32 m_backColor;
};
