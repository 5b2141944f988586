#include "LayerStoreCodec.h"

#include <QMetaType>
#include <QStringDecoder>
#include <QVariantMap>

#include "KeyedArchive.h"
#include "Logging.h"
#include "MachineIdentity.h"
#include "NullMarker.h"
#include "SSCrypto.h"

namespace brevona {

namespace {

const QString kProtectedPrefix = QStringLiteral("_x_");
const QString kSettingsKey = QStringLiteral("Settings");
const QLatin1String kPluginKeys[] = {QLatin1String("DisplayPlugin"), QLatin1String("ActionPlugin")};

bool isMap(const QVariant &value)
{
    return value.typeId() == QMetaType::QVariantMap;
}

// The new value of one setting; nothing removes the setting.
std::optional<QVariant> transformSetting(const QString &key, const QVariant &value, bool decode,
                                         const SSCrypto &crypto)
{
    if (key.startsWith(kProtectedPrefix)) {
        if (decode) {
            std::optional<QString> plain = LayerStoreCodec::decryptString(value, crypto);
            if (!plain) {
                qCWarning(lcShared, "Protected setting %s could not be decrypted and was dropped",
                          qUtf8Printable(key));
                return std::nullopt;
            }
            return QVariant(*plain);
        }
        std::optional<QByteArray> sealed = LayerStoreCodec::encryptString(value, crypto);
        if (!sealed) {
            qCWarning(lcShared, "Protected setting %s is not a string and was not stored",
                      qUtf8Printable(key));
            return std::nullopt;
        }
        return QVariant(*sealed);
    }

    if (decode) {
        if (value.typeId() != QMetaType::QByteArray)
            return value;
        Result<QVariant> decoded = KeyedArchive::unarchive(value.toByteArray());
        if (!decoded)
            return value; // plain data, handed on as such
        // An archive whose root is the null reference holds no object at all.
        if (isNullMarker(*decoded))
            return std::nullopt;
        return *decoded;
    }

    if (!LayerStoreCodec::shouldArchiveObject(value))
        return value;
    std::optional<QByteArray> archived = KeyedArchive::archive(value);
    if (!archived) {
        qCWarning(lcShared, "Setting %s of type %s cannot be archived and is kept as it is",
                  qUtf8Printable(key), value.typeName() ? value.typeName() : "unknown");
        return value;
    }
    return QVariant(*archived);
}

QVariantMap transformSettings(QVariantMap settings, bool decode, const SSCrypto &crypto)
{
    for (auto it = settings.begin(); it != settings.end();) {
        std::optional<QVariant> replacement = transformSetting(it.key(), it.value(), decode, crypto);
        if (!replacement) {
            it = settings.erase(it);
        } else {
            it.value() = std::move(*replacement);
            ++it;
        }
    }
    return settings;
}

} // namespace

const QString &LayerStoreCodec::fallbackKeyText()
{
    // The two percent signs are part of the text, not a format.
    static const QString text = QStringLiteral("Rt7#pQ%%w2Zx!mK9&bL4^sVy*e8Nj");
    return text;
}

QVariantMap LayerStoreCodec::archiveButtonsInfo(const QVariantMap &buttons, bool decode)
{
    return archiveButtonsInfo(buttons, decode, ssCrypto());
}

QVariantMap LayerStoreCodec::archiveButtonsInfo(const QVariantMap &buttons, bool decode,
                                                const SSCrypto &crypto)
{
    QVariantMap result = buttons;
    for (auto button = result.begin(); button != result.end(); ++button) {
        if (!isMap(button.value()))
            continue;
        QVariantMap entry = button.value().toMap();
        bool changed = false;
        for (const QLatin1String &pluginKey : kPluginKeys) {
            const auto plugin = entry.constFind(pluginKey);
            if (plugin == entry.constEnd() || !isMap(plugin.value()))
                continue;
            QVariantMap pluginEntry = plugin.value().toMap();
            const auto settings = pluginEntry.constFind(kSettingsKey);
            if (settings == pluginEntry.constEnd() || !isMap(settings.value()))
                continue;
            pluginEntry.insert(kSettingsKey, transformSettings(settings.value().toMap(), decode, crypto));
            entry.insert(pluginKey, pluginEntry);
            changed = true;
        }
        if (changed)
            button.value() = entry;
    }
    return result;
}

bool LayerStoreCodec::shouldArchiveObject(const QVariant &value)
{
    if (!value.isValid() || isNullMarker(value))
        return false;
    switch (value.typeId()) {
    case QMetaType::QVariantMap:
    case QMetaType::QString:
    case QMetaType::QByteArray:
    case QMetaType::Bool:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return false;
    default:
        return true;
    }
}

std::optional<QByteArray> LayerStoreCodec::encryptString(const QVariant &value)
{
    return encryptString(value, ssCrypto());
}

std::optional<QByteArray> LayerStoreCodec::encryptString(const QVariant &value, const SSCrypto &crypto)
{
    if (value.typeId() != QMetaType::QString)
        return std::nullopt;
    return crypto.encrypt(value.toString().toUtf8());
}

std::optional<QString> LayerStoreCodec::decryptString(const QVariant &value)
{
    return decryptString(value, ssCrypto());
}

std::optional<QString> LayerStoreCodec::decryptString(const QVariant &value, const SSCrypto &crypto)
{
    if (value.typeId() != QMetaType::QByteArray)
        return std::nullopt;
    std::optional<QByteArray> plain = crypto.decrypt(value.toByteArray());
    if (!plain)
        return std::nullopt;
    // A wrong key still passes the padding check now and then; what comes out is then no text.
    QStringDecoder toUtf16(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = toUtf16(*plain);
    if (toUtf16.hasError())
        return std::nullopt;
    return text;
}

QString LayerStoreCodec::keyTextFor(const MachineIdentity &identity)
{
    std::optional<QString> serial = identity.serialNumber();
    if (!serial || serial->isEmpty())
        return fallbackKeyText();
    return *serial;
}

const QString &LayerStoreCodec::encryptorSalt()
{
    static const QString salt = keyTextFor(MachineIdentity::instance());
    return salt;
}

const SSCrypto &LayerStoreCodec::ssCrypto()
{
    static const SSCrypto crypto(encryptorSalt().toUtf8());
    return crypto;
}

} // namespace brevona
