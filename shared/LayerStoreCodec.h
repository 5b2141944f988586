#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace brevona {

class SSCrypto;

// The transformations plugin settings undergo between memory and the layer store: protected
// settings ("_x_" keys) are encrypted under the machine's key text, values with no property-list
// form are stored as keyed archives. Configurator and driver share this one implementation.
class LayerStoreCodec
{
public:
    // Fallback key text for machines without a readable identity.
    static const QString &fallbackKeyText();

    // Decode = true turns the on-disk form into the in-memory form, false the reverse.
    // The input is not modified.
    static QVariantMap archiveButtonsInfo(const QVariantMap &buttons, bool decode);
    static bool shouldArchiveObject(const QVariant &value);
    static std::optional<QByteArray> encryptString(const QVariant &value);
    static std::optional<QString> decryptString(const QVariant &value);

    // The key text, determined once per process.
    static const QString &encryptorSalt();
    // The process-wide cipher initialised with the key text.
    static const SSCrypto &ssCrypto();
};

} // namespace brevona
