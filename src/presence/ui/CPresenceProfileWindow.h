#pragma once
// A profile in three pages, "Personal", "Bussiness" and "Home": the own one to edit and
// save, a contact's to read.
#include <QByteArray>
#include <QWidget>
#include <functional>
#include <vector>

#include "presence/PresenceProfileFields.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

class CPresenceProfileWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kSelectAvatar = "Select Avatar";
    // Saves the edited profile; false when it cannot be sent.
    using Save = std::function<bool(const PresenceProfileFields&)>;

    // With `save` the fields can be edited; without, the window only shows a profile.
    CPresenceProfileWindow(Save save, QWidget* parent = nullptr);

    void ShowProfile(const QString& jid, const PresenceProfileFields& fields);
    PresenceProfileFields Fields() const;
    // A picture file as the personal page's picker takes it; false: "Invalid file" shown.
    bool TakeAvatar(const QString& path);
    void Stored(bool ok);
    // A save still waits for the server's answer.
    bool Saving() const;
    void SetStatus(const QString& text);
    QString Status() const;
    QTabWidget* Pages() const { return m_pages; }
    // The user changed something since the profile was last shown.
    bool Edited() const { return m_edited; }
    const QByteArray& Photo() const { return m_photo; }

private:
    struct Field {
        QLineEdit* edit;
        std::function<std::string&(PresenceProfileFields&)> member;
    };
    QWidget* Page(const std::vector<std::pair<const char*, std::function<std::string&(PresenceProfileFields&)>>>& rows,
                  bool withAvatar);
    void ShowPhoto();
    void OnSelectAvatar();
    void OnSave();

    Save m_save;
    QTabWidget* m_pages;
    QLabel* m_picture = nullptr;
    QLabel* m_status;
    QPushButton* m_saveButton = nullptr;
    std::vector<Field> m_fields;
    QByteArray m_photo;
    bool m_edited = false;
};
