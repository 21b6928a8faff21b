#include "presence/ui/CPresenceAvatar.h"

#include <QBuffer>
#include <QImage>
#include <QImageReader>
#include <QPainter>

QString CPresenceAvatar::Filter()
{
    return QStringLiteral("JPEG Files (*.jpg *.jpeg);;BMP Files (*.bmp);;GIF Files (*.gif)");
}

bool CPresenceAvatar::ToJpeg(const QString& path, QByteArray& jpeg)
{
    QImageReader reader(path);
    reader.setAutoTransform(true);
    const QImage image = reader.read();
    return ToJpeg(image, jpeg);
}

bool CPresenceAvatar::ToJpeg(const QImage& image, QByteArray& jpeg)
{
    if (image.isNull())
        return false;
    QImage scaled = image.width() > kMaxSide || image.height() > kMaxSide
        ? image.scaled(kMaxSide, kMaxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation)
        : image;
    // JPEG has no transparency: transparent pixels become white, not black.
    if (scaled.hasAlphaChannel()) {
        QImage flat(scaled.size(), QImage::Format_RGB32);
        flat.fill(Qt::white);
        QPainter painter(&flat);
        painter.drawImage(0, 0, scaled);
        painter.end();
        scaled = flat;
    }
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    if (!scaled.convertToFormat(QImage::Format_RGB32).save(&buffer, "JPG", 85))
        return false;
    jpeg = out;
    return true;
}
