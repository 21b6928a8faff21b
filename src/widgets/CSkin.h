#pragma once
// Where skin pictures come from: SVG files in a skin folder (ZELORA_SKIN_DIR, or the folder set
// by the program), each missing file taken from the built-in default skin. Pictures are
// rendered at the device pixel ratio so faces stay sharp on high-density screens.
#include <QImage>
#include <QPixmap>
#include <QRegion>
#include <QSize>
#include <QString>

class CSkin {
public:
    static constexpr const char* kDefaultFolder = ":/skins/default";

    // The chosen folder; empty: ZELORA_SKIN_DIR, else the default.
    static void SetFolder(const QString& folder);
    static QString Folder();
    // Path of a picture ("key" -> <folder>/key.svg); the default's when the folder lacks it
    // (logged once per name); empty when neither has it.
    static QString PathOf(const QString& name);
    static bool Exists(const QString& name);
    // The picture's own size in logical pixels (its SVG size); empty when missing.
    static QSize NaturalSize(const QString& name);
    // Rendered at `size` logical pixels times `dpr`; null when missing.
    static QPixmap Face(const QString& name, QSize size, qreal dpr);
    // Rendered at `size` on white, so that transparent parts count as outside.
    static QImage MaskImage(const QString& name, QSize size);
    // The region of the non-white pixels of a mask image (the run rule of SkinRegion).
    static QRegion RegionFromMask(const QImage& mask);
};
