#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>
#include <QWidget>

// Decodes a JPEG with libjpeg-turbo; a null image when the data is not a decodable JPEG.
QImage DecodeJpeg(const QByteArray &data);
// The same for a file or a built-in resource (":/pictures/about.jpg").
QImage DecodeJpegFile(const QString &path);

// A picture area: draws its image, stretched over the whole area or at its own size from
// the top left. A picture that failed to decode leaves the area empty.
class TPicture : public QWidget {
    Q_OBJECT
  public:
    explicit TPicture(QWidget *parent = nullptr);
    void setImage(const QImage &image);
    // A JPEG file or resource, decoded when the picture is first needed: the windows that
    // show pictures are built at start-up but seldom opened.
    void setJpegFile(const QString &path);
    const QImage &image() const;
    void setStretch(bool on);

  protected:
    void paintEvent(QPaintEvent *event) override;

  private:
    mutable QImage Image;
    mutable QString PendingFile;
    bool Stretch = false;
};
