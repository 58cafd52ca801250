#pragma once
#include <QPushButton>

// The chooser's round picture buttons: a disc with a glyph drawn in code, clipped to an
// ellipse inset by 4 pixels on every side.
class TRoundButton : public QPushButton {
    Q_OBJECT
  public:
    enum class Glyph { Go, Quit };
    TRoundButton(Glyph glyph, QWidget *parent = nullptr);
    Glyph glyph() const { return Kind; }
    // The painted disc, border included: inside the region by kDiscMargin on every side.
    QRectF DiscRect() const;

    static constexpr int kRegionInset = 4;
    static constexpr qreal kDiscMargin = 2;

  protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;

  private:
    Glyph Kind;
};
