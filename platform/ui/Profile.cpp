#include "Profile.h"

#include <QByteArray>
#include <QSettings>

namespace mlui {

bool GetProfileBinary(const char* section, const char* entry, std::string& bytes) {
    QSettings settings;
    settings.beginGroup(QString::fromUtf8(section));
    QVariant v = settings.value(QString::fromUtf8(entry));
    if (!v.isValid())
        return false;
    QByteArray a = v.toByteArray();
    bytes.assign(a.constData(), static_cast<size_t>(a.size()));
    return true;
}

bool WriteProfileBinary(const char* section, const char* entry, std::string_view bytes) {
    QSettings settings;
    settings.beginGroup(QString::fromUtf8(section));
    settings.setValue(QString::fromUtf8(entry),
                      QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

int GetProfileInt(const char* section, const char* entry, int nDefault) {
    QSettings settings;
    settings.beginGroup(QString::fromUtf8(section));
    bool ok = false;
    const int n = settings.value(QString::fromUtf8(entry)).toInt(&ok);
    return ok ? n : nDefault;
}

bool WriteProfileInt(const char* section, const char* entry, int nValue) {
    QSettings settings;
    settings.beginGroup(QString::fromUtf8(section));
    settings.setValue(QString::fromUtf8(entry), nValue);
    settings.endGroup();
    settings.sync();
    return settings.status() == QSettings::NoError;
}

}  // namespace mlui
