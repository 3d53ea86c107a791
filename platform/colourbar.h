// A colour bar with its number: the bar in the palette's highlight colour on the base colour,
// a square frame, and the value's text centred in the highlighted-text colour. It paints every
// pixel of its area itself, with no style in between, because the live display changes it many
// times a second.
#pragma once

#include <QColor>
#include <QProgressBar>

class ColourBar : public QProgressBar {
    Q_OBJECT
    // The panel file's way to give the bar its colour, in every colour group of the palette.
    Q_PROPERTY(QColor barColor READ barColor WRITE setBarColor)
  public:
    explicit ColourBar(QWidget *parent = nullptr);

    QColor barColor() const;
    void setBarColor(const QColor &color);

  protected:
    bool event(QEvent *event) override;
    void paintEvent(QPaintEvent *event) override;

  private:
    int filledWidth(int fullWidth) const;
};
