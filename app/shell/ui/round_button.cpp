#include "shell/ui/round_button.h"

#include <QPainter>
#include <QPainterPath>
#include <QRegion>

TRoundButton::TRoundButton(Glyph glyph, QWidget *parent) : QPushButton(parent), Kind(glyph) {
    setFocusPolicy(Qt::StrongFocus);
}

void TRoundButton::resizeEvent(QResizeEvent *event) {
    QPushButton::resizeEvent(event);
    // The elliptic region from (4, 4) to (width - 4, height - 4).
    setMask(QRegion(kRegionInset, kRegionInset, width() - 2 * kRegionInset,
                    height() - 2 * kRegionInset, QRegion::Ellipse));
}

QRectF TRoundButton::DiscRect() const {
    return QRectF(rect()).adjusted(kRegionInset + kDiscMargin, kRegionInset + kDiscMargin,
                                   -kRegionInset - kDiscMargin, -kRegionInset - kDiscMargin);
}

void TRoundButton::paintEvent(QPaintEvent *) {
    // Painted in device pixels (the painter follows the screen's scale), antialiased. The
    // region is whole logical pixels and comes out stepped once scaled, so the disc keeps
    // clear of its edge: the region only ever cuts away empty pixels.
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF disc = DiscRect();
    const bool down = isDown();
    QColor base = Kind == Glyph::Go ? QColor(0x2e, 0xa0, 0x4a) : QColor(0xc8, 0x32, 0x32);
    // Greyed with the window, as the other controls are.
    if (!isEnabled()) base = QColor(0x9c, 0x9c, 0x9c);
    QRadialGradient shade(disc.center() - QPointF(12, 14), disc.width() * 0.7);
    shade.setColorAt(0, (down ? base.darker(115) : base.lighter(140)));
    shade.setColorAt(1, (down ? base.darker(150) : base));
    const qreal pen = 3;
    p.setPen(QPen(base.darker(170), pen));
    p.setBrush(shade);
    p.drawEllipse(disc.adjusted(pen / 2, pen / 2, -pen / 2, -pen / 2));

    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    const QPointF c = disc.center() + (down ? QPointF(1, 1) : QPointF(0, 0));
    if (Kind == Glyph::Go) {
        // An arrow pointing right: on to the device window.
        QPainterPath arrow;
        arrow.moveTo(c + QPointF(-22, -8));
        arrow.lineTo(c + QPointF(2, -8));
        arrow.lineTo(c + QPointF(2, -20));
        arrow.lineTo(c + QPointF(24, 0));
        arrow.lineTo(c + QPointF(2, 20));
        arrow.lineTo(c + QPointF(2, 8));
        arrow.lineTo(c + QPointF(-22, 8));
        arrow.closeSubpath();
        p.drawPath(arrow);
    } else {
        // A power symbol: leave the program.
        QPen pen(Qt::white, 7, Qt::SolidLine, Qt::RoundCap);
        p.setPen(pen);
        p.setBrush(Qt::NoBrush);
        const QRectF ring(c.x() - 20, c.y() - 18, 40, 40);
        p.drawArc(ring, 120 * 16, 300 * 16);
        p.drawLine(c + QPointF(0, -24), c + QPointF(0, -2));
    }
    if (hasFocus()) {
        p.setPen(QPen(QColor(255, 255, 255, 160), 1, Qt::DotLine));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(disc.adjusted(7, 7, -7, -7));
    }
}
