// The base of the panel's plots: they paint themselves from the plot's paint buffers, each in the
// cheapest way for what changes in it, and add what moves on top.
#pragma once

#include <qcustomplot.h>

class InstrumentPlot : public QCustomPlot {
    Q_OBJECT
  public:
    explicit InstrumentPlot(QWidget *parent = nullptr);

    // Writes the plot as the screen shows it, what moves over the plot included, at the widget's
    // size: PNG in pixels, or PDF (pdf true) in points. Returns false when the file was not
    // written.
    bool saveAsShown(const QString &path, bool pdf);

  protected:
    // Applies a dynamic property (the panel file's plot settings) when it is set or changed;
    // the one place where a plot's properties take effect.
    bool event(QEvent *event) override;
    virtual void applyProperty(const QByteArray &name) = 0;
    // The plot area in widget pixels. (The base class's axisRect() walks the whole layout on
    // every call; the axis keeps a pointer to its rect.)
    QRect plotArea() const;
    // Paints the plot through paintPlot, unless the screen's pixel ratio is not the buffers' one
    // (the window moved to another screen): the base class then rebuilds the buffers and asks
    // for a redraw.
    void paintEvent(QPaintEvent *event) final;
    virtual void paintPlot(QPaintEvent *event) = 0;
    // What paintPlot draws over the plot (traces, a cursor) is handed to the plot itself for an
    // export and taken back afterwards, so that the plot's own file output shows it.
    virtual void lendMovingParts(bool lent) = 0;
    // The paint buffers over the plot's background, as the base class paints them; opaque.
    void drawBuffers(QCPPainter *painter);
};
