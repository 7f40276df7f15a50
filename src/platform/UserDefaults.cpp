#include "UserDefaults.h"

#include <QLockFile>
#include <QSettings>

using namespace Qt::StringLiterals;

UserDefaults::UserDefaults()
#ifdef Q_OS_MACOS
    : m_settings(std::make_unique<QSettings>(
        QSettings::NativeFormat, QSettings::UserScope, u"Quillmere"_s, u"Quillmere"_s))
#else
    : m_settings(std::make_unique<QSettings>(
        QSettings::IniFormat, QSettings::UserScope, u"Quillmere"_s, u"Quillmere"_s))
#endif
{
}

UserDefaults::UserDefaults(const QString &iniPath)
    : m_settings(std::make_unique<QSettings>(iniPath, QSettings::IniFormat))
{
}

UserDefaults::~UserDefaults() = default;

QStringList UserDefaults::stringArray(const QString &key) const
{
    const QVariant value = m_settings->value(key);
    // A value of another type (edited by hand, say) reads as an empty list rather than as junk.
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList();
    if (value.typeId() == QMetaType::QString)
        return {value.toString()};
    if (value.typeId() == QMetaType::QVariantList) {
        QStringList out;
        for (const QVariant &item : value.toList()) {
            if (item.typeId() != QMetaType::QString)
                return {};
            out.append(item.toString());
        }
        return out;
    }
    return {};
}

void UserDefaults::updateStringArray(
    const QString &key, const std::function<QStringList(QStringList)> &change)
{
    QLockFile lock(m_settings->fileName() + u".lock-quillmere"_s);
    // Without the lock (a read-only folder, say) the change still applies to this process.
    const bool locked = lock.tryLock(5000);
    m_settings->sync(); // read what other processes stored meanwhile
    setStringArray(key, change(stringArray(key)));
    if (locked)
        lock.unlock();
}

void UserDefaults::setStringArray(const QString &key, const QStringList &values)
{
    m_settings->setValue(key, values);
    m_settings->sync();
}
