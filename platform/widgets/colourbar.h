// A colour bar with its number: a square frame, the bar in the palette's highlight colour on the
// base colour from the minimum at the left, and the number centred in the highlighted-text
// colour. It paints every pixel of its area itself, with plain fills and no style in between,
// and a new value only asks for a repaint, because the live display changes it many times a
// second.
#pragma once

#include <QColor>
#include <QString>
#include <QWidget>

class ColourBar : public QWidget {
    Q_OBJECT
    Q_PROPERTY(int minimum READ minimum WRITE setMinimum)
    Q_PROPERTY(int maximum READ maximum WRITE setMaximum)
    Q_PROPERTY(int value READ value WRITE setValue)
    // "%v" the value, "%m" the number of steps, "%p" the percentage.
    Q_PROPERTY(QString format READ format WRITE setFormat)
    Q_PROPERTY(bool textVisible READ isTextVisible WRITE setTextVisible)
    // The panel file's way to give the bar its colour, in every colour group of the palette.
    Q_PROPERTY(QColor barColor READ barColor WRITE setBarColor)
  public:
    explicit ColourBar(QWidget *parent = nullptr);

    int minimum() const;
    int maximum() const;
    void setMinimum(int minimum);
    void setMaximum(int maximum);
    // A maximum below the minimum is raised to it.
    void setRange(int minimum, int maximum);
    int value() const;
    // Held within the range.
    void setValue(int value);
    QString format() const;
    void setFormat(const QString &format);
    bool isTextVisible() const;
    void setTextVisible(bool visible);
    QColor barColor() const;
    void setBarColor(const QColor &colour);

    // The number as the format shows it.
    QString text() const;
    QSize sizeHint() const override;

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    int filledWidth(int fullWidth) const;

    int minimum_ = 0;
    int maximum_ = 100;
    int value_ = 0;
    QString format_ = QStringLiteral("%p%");
    bool textVisible_ = true;
};
