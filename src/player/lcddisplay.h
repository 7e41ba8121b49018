#pragma once

#include <QColor>
#include <QFont>
#include <QHash>
#include <QLabel>
#include <QPixmap>

// A time display: a label whose short text (digits and separators) is drawn centred on its back
// colour from characters drawn once, so the countdown's change every second costs a few copies
// instead of a text layout. It does not wrap.
class LcdDisplay : public QLabel
{
    Q_OBJECT

public:
    explicit LcdDisplay(const QString &text, QWidget *parent = nullptr);

protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

private:
    struct Glyph
    {
        QPixmap pixmap;
        qreal advance = 0;
    };
    // Drops the glyphs when the font, the text colour or the pixel ratio has changed.
    void forgetStaleGlyphs();
    const Glyph &glyph(QChar c);
    QHash<QChar, Glyph> m_glyphs;
    // What the glyphs were drawn with.
    QFont m_glyphFont;
    QColor m_glyphColour;
    qreal m_glyphRatio = 0;
};
