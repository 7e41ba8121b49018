#pragma once

#include "waveform/peaksummary.h"

#include <QWidget>

#include <optional>

// A file's waveform with the cart's in and out points on it: the part that plays is drawn
// bright, the rest dim. Dragging a marker (or pressing near one) moves it, to the frame.
class WaveformView : public QWidget
{
    Q_OBJECT

public:
    explicit WaveformView(QWidget *parent = nullptr);

    // What is drawn so far; the markers need its rate and length to be placed.
    void setSummary(const PeakSummary &summary);
    // in and out in seconds (out: none for the file's end).
    void setMarkers(double in, std::optional<double> out);

    QSize sizeHint() const override { return {560, 120}; }

    // The x of a time in the file, and the time (to the frame) of an x.
    int xOf(double seconds) const;
    double secondsAt(int x) const;

signals:
    // A marker was dragged to seconds.
    void inDragged(double seconds);
    void outDragged(double seconds);

protected:
    void paintEvent(QPaintEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;

private:
    enum class Marker { None, In, Out };
    double lengthSeconds() const;
    void dragTo(int x);

    PeakSummary m_summary;
    double m_in = 0;
    std::optional<double> m_out;
    Marker m_dragging = Marker::None;
};
