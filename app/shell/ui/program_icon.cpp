#include "shell/ui/program_icon.h"

#include <QApplication>
#include <QFile>
#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <QStyle>
#include <QStyleOption>
#include <QSvgRenderer>
#include <memory>

namespace {

// Renders on demand, so that start-up pays nothing for sizes nobody shows.
class SvgIconEngine : public QIconEngine {
  public:
    explicit SvgIconEngine(std::shared_ptr<QSvgRenderer> renderer)
        : renderer_(std::move(renderer)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override {
        renderer_->render(painter, rect);
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        {
            QPainter p(&pm);
            p.setRenderHint(QPainter::Antialiasing);
            paint(&p, QRect(QPoint(0, 0), size), mode, state);
        }
        if (mode == QIcon::Disabled && qApp) {
            QStyleOption option;
            return qApp->style()->generatedIconPixmap(mode, pm, &option);
        }
        return pm;
    }

    QIconEngine *clone() const override { return new SvgIconEngine(renderer_); }

  private:
    std::shared_ptr<QSvgRenderer> renderer_;
};

} // namespace

QIcon ProgramIcon() {
    auto renderer = std::make_shared<QSvgRenderer>(QStringLiteral(":/icons/cardtool.svg"));
    if (!renderer->isValid()) return QIcon();
    return QIcon(new SvgIconEngine(std::move(renderer)));
}
