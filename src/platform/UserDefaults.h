#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

class QSettings;

// The application's small preference store: string arrays under "Quillmere.*" keys.
class UserDefaults
{
public:
    // The application's own store (the preferences plist on macOS, an INI file on Linux).
    UserDefaults();
    // A store kept in the given INI file; tests use a temporary one.
    explicit UserDefaults(const QString &iniPath);
    ~UserDefaults();

    UserDefaults(const UserDefaults &) = delete;
    UserDefaults &operator=(const UserDefaults &) = delete;

    QStringList stringArray(const QString &key) const;
    void setStringArray(const QString &key, const QStringList &values);
    // Changes one list as it is stored now, under a lock that other Quillmere processes take
    // too, so two processes adding to the same list keep both additions.
    void updateStringArray(
        const QString &key, const std::function<QStringList(QStringList)> &change);

private:
    std::unique_ptr<QSettings> m_settings;
};
