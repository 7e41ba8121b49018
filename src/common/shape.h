#pragma once

#include <QColor>
#include <QWidget>

#include <optional>

// A decorative rectangle: an optional solid fill and a border drawn inside its edges. It never
// takes input, so it can lie under other controls.
class Shape : public QWidget
{
    Q_OBJECT

public:
    Shape(QColor border, int borderWidth, std::optional<QColor> fill, QWidget *parent);

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QColor m_border;
    int m_borderWidth;
    std::optional<QColor> m_fill;
};
