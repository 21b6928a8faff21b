#pragma once
// The profile picture: any picture the user picks becomes a small JPEG for the vCard.
#include <QByteArray>
#include <QString>

class QImage;

class CPresenceAvatar {
public:
    static constexpr int kMaxSide = 96; // pixels; keeps the vCard well below stanza limits
    static constexpr const char* kInvalid = "Invalid file";
    static constexpr const char* kMimeType = "image/jpeg";
    // The "Select Avatar" file dialog's choices.
    static QString Filter();
    // The picture at `path` as JPEG, scaled down to kMaxSide; false when it cannot be read.
    static bool ToJpeg(const QString& path, QByteArray& jpeg);
    static bool ToJpeg(const QImage& image, QByteArray& jpeg);
};
