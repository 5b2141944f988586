#pragma once

#include <optional>

#include <QByteArray>
#include <QString>
#include <QVariant>

namespace brevona {

class MachineIdentity;
class SSCrypto;

// The transformations plugin settings undergo between memory and the layer store: protected
// settings ("_x_" keys) are encrypted under the machine's key text, values with no property-list
// form are stored as keyed archives. Configurator and driver share this one implementation.
//
// The operations without a cipher argument use the process-wide cipher (ssCrypto()); the overloads
// taking one exist so that a store written on another machine can be reproduced without touching
// the once-per-process key text.
class LayerStoreCodec
{
public:
    // Fallback key text for machines without a readable identity.
    static const QString &fallbackKeyText();

    // Decode = true turns the on-disk form into the in-memory form, false the reverse.
    // The input is not modified. Button entries, plugin entries and settings that are missing or
    // not dictionaries are passed through unchanged.
    static QVariantMap archiveButtonsInfo(const QVariantMap &buttons, bool decode);
    static QVariantMap archiveButtonsInfo(const QVariantMap &buttons, bool decode, const SSCrypto &crypto);

    // False for dictionaries, numbers (booleans included), strings, data, the null marker and an
    // invalid value (there is nothing to archive); true for everything else (arrays, dates, ...).
    static bool shouldArchiveObject(const QVariant &value);

    // Nothing when the value is not a string.
    static std::optional<QByteArray> encryptString(const QVariant &value);
    static std::optional<QByteArray> encryptString(const QVariant &value, const SSCrypto &crypto);
    // Nothing when the value is not data, does not decrypt, or does not decrypt to UTF-8 text.
    static std::optional<QString> decryptString(const QVariant &value);
    static std::optional<QString> decryptString(const QVariant &value, const SSCrypto &crypto);

    // The key text a machine with this identity uses: its serial number, else the fallback text.
    static QString keyTextFor(const MachineIdentity &identity);
    // The key text of this process (keyTextFor(MachineIdentity::instance())), determined once.
    static const QString &encryptorSalt();
    // The process-wide cipher initialised with the key text.
    static const SSCrypto &ssCrypto();
};

} // namespace brevona
