#include "widgets/CSkin.h"

#include <QFile>
#include <QPainter>
#include <QSet>
#include <QSvgRenderer>
#include <cstdlib>
#include <mutex>

#include "app/CLogger.h"
#include "widgets/SkinRegion.h"

namespace {

std::mutex g_lock;
QString g_folder;
QSet<QString> g_reported;

QString FileIn(const QString& folder, const QString& name) { return folder + "/" + name + ".svg"; }

} // namespace

void CSkin::SetFolder(const QString& folder)
{
    std::lock_guard<std::mutex> lock(g_lock);
    g_folder = folder;
}

QString CSkin::Folder()
{
    std::lock_guard<std::mutex> lock(g_lock);
    if (!g_folder.isEmpty())
        return g_folder;
    const char* env = std::getenv("ZELORA_SKIN_DIR");
    if (env != nullptr && *env != '\0')
        return QString::fromLocal8Bit(env);
    return kDefaultFolder;
}

QString CSkin::PathOf(const QString& name)
{
    ZLOG_SCOPE();
    QString folder = Folder();
    QString path = FileIn(folder, name);
    if (QFile::exists(path))
        return path;
    QString fallback = FileIn(kDefaultFolder, name);
    bool inDefault = QFile::exists(fallback);
    {
        std::lock_guard<std::mutex> lock(g_lock);
        if (folder != kDefaultFolder && !g_reported.contains(name)) {
            g_reported.insert(name);
            ZLOG(LOG_WARNING, "Skin picture %s missing in %s, using the default", qPrintable(name), qPrintable(folder));
        }
    }
    if (inDefault)
        return fallback;
    ZLOG(LOG_ERROR, "Skin picture %s missing", qPrintable(name));
    return {};
}

bool CSkin::Exists(const QString& name)
{
    return QFile::exists(FileIn(Folder(), name)) || QFile::exists(FileIn(kDefaultFolder, name));
}

QSize CSkin::NaturalSize(const QString& name)
{
    QString path = PathOf(name);
    if (path.isEmpty())
        return {};
    QSvgRenderer renderer(path);
    return renderer.isValid() ? renderer.defaultSize() : QSize();
}

QPixmap CSkin::Face(const QString& name, QSize size, qreal dpr)
{
    QString path = PathOf(name);
    if (path.isEmpty() || size.isEmpty())
        return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QPixmap pixmap(size * dpr);
    pixmap.fill(Qt::transparent);
    {
        QPainter painter(&pixmap);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size * dpr)));
    }
    pixmap.setDevicePixelRatio(dpr);
    return pixmap;
}

QImage CSkin::MaskImage(const QString& name, QSize size)
{
    QString path = PathOf(name);
    if (path.isEmpty() || size.isEmpty())
        return {};
    QSvgRenderer renderer(path);
    if (!renderer.isValid())
        return {};
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    // Hard edges: an antialiased rim would widen the shape by a pixel of grey.
    painter.setRenderHint(QPainter::Antialiasing, false);
    renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size)));
    return image;
}

QRegion CSkin::RegionFromMask(const QImage& mask)
{
    if (mask.isNull())
        return {};
    QImage rgb = mask.convertToFormat(QImage::Format_RGB32);
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(rgb.width()) * rgb.height());
    for (int y = 0; y < rgb.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(rgb.constScanLine(y));
        std::copy(line, line + rgb.width(), pixels.begin() + static_cast<std::ptrdiff_t>(y) * rgb.width());
    }
    QRegion region;
    for (const SkinRun& run : SkinRunsFromPixels(pixels, rgb.width(), rgb.height()))
        region += QRect(run.left, run.row, run.right - run.left, 1);
    return region;
}
