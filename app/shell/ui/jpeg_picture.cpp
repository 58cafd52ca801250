#include "shell/ui/jpeg_picture.h"

#include <QFile>
#include <QPainter>
#include <turbojpeg.h>

QImage DecodeJpeg(const QByteArray &data) {
    if (data.isEmpty()) return {};
    tjhandle handle = tjInitDecompress();
    if (handle == nullptr) return {};
    auto *bytes = reinterpret_cast<const unsigned char *>(data.constData());
    const auto size = static_cast<unsigned long>(data.size());
    int width = 0, height = 0, subsampling = 0, colourspace = 0;
    QImage image;
    // Pictures are small; a header claiming a huge image is refused before allocating.
    if (tjDecompressHeader3(handle, bytes, size, &width, &height, &subsampling, &colourspace) ==
            0 &&
        width > 0 && height > 0 && width <= 8192 && height <= 8192) {
        image = QImage(width, height, QImage::Format_RGB888);
        if (image.isNull() || tjDecompress2(handle, bytes, size, image.bits(), width,
                                            static_cast<int>(image.bytesPerLine()), height,
                                            TJPF_RGB, TJFLAG_ACCURATEDCT) != 0)
            image = QImage();
    }
    tjDestroy(handle);
    return image;
}

QImage DecodeJpegFile(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    return DecodeJpeg(file.readAll());
}

TPicture::TPicture(QWidget *parent) : QWidget(parent) {}

void TPicture::setImage(const QImage &image) {
    PendingFile.clear();
    Image = image;
    update();
}

void TPicture::setJpegFile(const QString &path) {
    PendingFile = path;
    Image = QImage();
    update();
}

const QImage &TPicture::image() const {
    if (!PendingFile.isEmpty()) {
        Image = DecodeJpegFile(PendingFile);
        PendingFile.clear();
    }
    return Image;
}

void TPicture::setStretch(bool on) {
    Stretch = on;
    update();
}

void TPicture::paintEvent(QPaintEvent *) {
    const QImage &picture = image();
    if (picture.isNull()) return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    if (Stretch)
        painter.drawImage(rect(), picture);
    else
        painter.drawImage(QPoint(0, 0), picture);
}
