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

// The file is read, and each size rendered, on demand: start-up pays nothing for an icon
// that nothing has drawn yet (offscreen, or before the window system asks).
class SvgIconEngine : public QIconEngine {
  public:
    struct Source {
        QString path;
        std::unique_ptr<QSvgRenderer> renderer;
    };
    explicit SvgIconEngine(std::shared_ptr<Source> source) : source_(std::move(source)) {}

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode, QIcon::State) override {
        if (!source_->renderer) source_->renderer = std::make_unique<QSvgRenderer>(source_->path);
        source_->renderer->render(painter, rect);
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

    QIconEngine *clone() const override { return new SvgIconEngine(source_); }

  private:
    std::shared_ptr<Source> source_;
};

} // namespace

QIcon ProgramIcon() {
    auto source = std::make_shared<SvgIconEngine::Source>();
    source->path = QStringLiteral(":/icons/cardtool.svg");
    if (!QFile::exists(source->path)) return QIcon();
    return QIcon(new SvgIconEngine(std::move(source)));
}
