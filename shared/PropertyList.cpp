#include "PropertyList.h"

#include <cstdint>
#include <cstdlib>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStringList>
#include <QTimeZone>

#include "Logging.h"
#include "NullMarker.h"
#include "PlistNode.h"

namespace brevona {

namespace {

// Property lists of this program are small; anything larger is damaged or hostile.
constexpr qint64 kMaxFileBytes = 256 * 1024 * 1024;

class ToPlist
{
public:
    explicit ToPlist(PropertyList::Format format)
        : m_format(format)
    {}

    // An empty node when the value has no property-list form; the reason is in problem().
    PlistNode convert(const QVariant &value, int depth)
    {
        switch (value.typeId()) {
        case QMetaType::Bool:
            return PlistNode(plist_new_bool(value.toBool() ? 1 : 0));
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return PlistNode::newSigned(value.toLongLong());
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return PlistNode::newUnsigned(value.toULongLong());
        case QMetaType::Double:
        case QMetaType::Float:
            return PlistNode(plist_new_real(value.toDouble()));
        case QMetaType::QString:
            return string(value.toString());
        case QMetaType::QByteArray:
            return PlistNode::newData(value.toByteArray());
        case QMetaType::QDateTime: {
            QDateTime when = value.toDateTime();
            // XML holds whole seconds. libplist would round toward zero; earlier is what other
            // writers produce.
            if (m_format == PropertyList::Format::Xml && when.isValid()) {
                const qint64 msecs = when.toMSecsSinceEpoch();
                when = QDateTime::fromMSecsSinceEpoch(msecs - (((msecs % 1000) + 1000) % 1000),
                                                      QTimeZone::utc());
            }
            PlistNode date = PlistNode::newDate(when);
            if (!date)
                m_problem = QStringLiteral("a date outside the years 1 to 9999");
            return date;
        }
        case QMetaType::QVariantMap:
            return dictionary(value.toMap(), depth);
        case QMetaType::QVariantHash: {
            const QVariantHash hash = value.toHash();
            QVariantMap map;
            for (auto it = hash.cbegin(); it != hash.cend(); ++it)
                map.insert(it.key(), it.value());
            return dictionary(map, depth);
        }
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return array(value.toList(), depth);
        default:
            break;
        }
        m_problem =
            isNullMarker(value)
                ? QStringLiteral("a null marker where a value is required")
                : QStringLiteral("a value of type %1").arg(QString::fromLatin1(value.metaType().name()));
        return {};
    }

    const QString &problem() const { return m_problem; }

private:
    PlistNode string(const QString &text)
    {
        const QString reason = PlistNode::textProblem(text, m_format);
        if (!reason.isEmpty()) {
            m_problem = QStringLiteral("a string with ") + reason;
            return {};
        }
        return PlistNode::newString(text);
    }

    bool tooDeep(int depth)
    {
        if (depth < PlistNode::kMaxDepth)
            return false;
        m_problem = QStringLiteral("nesting deeper than %1 levels").arg(PlistNode::kMaxDepth);
        return true;
    }

    PlistNode dictionary(const QVariantMap &map, int depth)
    {
        if (tooDeep(depth))
            return {};
        PlistNode dict(plist_new_dict());
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            if (isNullMarker(it.value()))
                continue;
            const QString reason = PlistNode::textProblem(it.key(), m_format);
            if (!reason.isEmpty()) {
                m_problem = QStringLiteral("a key with ") + reason;
                return {};
            }
            PlistNode child = convert(it.value(), depth + 1);
            if (!child)
                return {};
            plist_dict_set_item(dict.get(), it.key().toUtf8().constData(), child.release());
        }
        return dict;
    }

    PlistNode array(const QVariantList &list, int depth)
    {
        if (tooDeep(depth))
            return {};
        PlistNode array(plist_new_array());
        for (const QVariant &element : list) {
            if (isNullMarker(element))
                continue;
            PlistNode child = convert(element, depth + 1);
            if (!child)
                return {};
            plist_array_append_item(array.get(), child.release());
        }
        return array;
    }

    PropertyList::Format m_format;
    QString m_problem;
};

class FromPlist
{
public:
    std::optional<QVariant> convert(plist_t node, int depth)
    {
        switch (plist_get_node_type(node)) {
        case PLIST_BOOLEAN:
            return QVariant(PlistNode::boolValue(node));
        case PLIST_UINT:
            return PlistNode::integerValue(node);
        case PLIST_REAL:
            return QVariant(PlistNode::realValue(node));
        case PLIST_STRING:
            return QVariant(PlistNode::stringValue(node));
        case PLIST_KEY:
            return QVariant(PlistNode::keyValue(node));
        case PLIST_DATA:
            return QVariant(PlistNode::dataValue(node));
        case PLIST_DATE: {
            const QDateTime date = PlistNode::dateValue(node);
            if (!date.isValid())
                return std::nullopt;
            return QVariant(date);
        }
        case PLIST_UID: {
            // A keyed-archive reference read as a plain property list: the form XML gives it.
            std::uint64_t uid = 0;
            plist_get_uid_val(node, &uid);
            return QVariant(
                QVariantMap{{QStringLiteral("CF$UID"), QVariant::fromValue(static_cast<qint64>(uid))}});
        }
        case PLIST_ARRAY:
            return array(node, depth);
        case PLIST_DICT:
            return dictionary(node, depth);
        case PLIST_NONE:
            break;
        }
        return std::nullopt;
    }

private:
    std::optional<QVariant> array(plist_t node, int depth)
    {
        if (depth >= PlistNode::kMaxDepth)
            return std::nullopt;
        const std::uint32_t count = plist_array_get_size(node);
        QVariantList list;
        list.reserve(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            std::optional<QVariant> element = convert(plist_array_get_item(node, i), depth + 1);
            if (!element)
                return std::nullopt;
            list.append(std::move(*element));
        }
        return QVariant(list);
    }

    std::optional<QVariant> dictionary(plist_t node, int depth)
    {
        if (depth >= PlistNode::kMaxDepth)
            return std::nullopt;
        QVariantMap map;
        plist_dict_iter iter = nullptr;
        plist_dict_new_iter(node, &iter);
        if (!iter)
            return std::nullopt;
        bool ok = true;
        for (;;) {
            char *key = nullptr;
            plist_t value = nullptr;
            plist_dict_next_item(node, iter, &key, &value);
            if (!value) {
                std::free(key);
                break;
            }
            std::optional<QVariant> converted = convert(value, depth + 1);
            if (converted && key)
                map.insert(QString::fromUtf8(key), std::move(*converted));
            std::free(key);
            if (!converted || !key) {
                ok = false;
                break;
            }
        }
        std::free(iter);
        if (!ok)
            return std::nullopt;
        return QVariant(map);
    }
};

} // namespace

std::optional<QVariant> PropertyList::fromData(const QByteArray &bytes, QString *problem)
{
    const PlistNode root = PlistNode::parse(bytes, problem);
    if (!root)
        return std::nullopt;
    std::optional<QVariant> value = FromPlist().convert(root.get(), 0);
    if (!value) {
        const QString reason = QStringLiteral("Property list holds a value that cannot be read");
        if (problem)
            *problem = reason;
        else
            qCWarning(lcShared).noquote() << reason;
    }
    return value;
}

std::optional<QVariant> PropertyList::readFile(const QString &path)
{
    QFile file(path);
    if (!file.exists()) {
        qCDebug(lcShared) << "No property list at" << path;
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        qCWarning(lcShared) << "Cannot read" << path << ":" << file.errorString();
        return std::nullopt;
    }
    if (file.size() > kMaxFileBytes) {
        qCWarning(lcShared) << "Property list" << path << "is too large:" << file.size() << "bytes";
        return std::nullopt;
    }
    // Reads what the file holds; asking for the limit would reserve it for every small file.
    const QByteArray bytes = file.read(file.size() + 1);
    if (bytes.size() > kMaxFileBytes) {
        qCWarning(lcShared) << "Property list" << path << "is too large";
        return std::nullopt;
    }
    std::optional<QVariant> value = fromData(bytes);
    if (!value)
        qCWarning(lcShared) << "Not a readable property list:" << path;
    return value;
}

std::optional<QVariantMap> PropertyList::readDictionary(const QString &path)
{
    const std::optional<QVariant> value = readFile(path);
    if (!value)
        return std::nullopt;
    if (value->typeId() != QMetaType::QVariantMap) {
        qCWarning(lcShared) << "Property list" << path << "is not a dictionary";
        return std::nullopt;
    }
    return value->toMap();
}

std::optional<QByteArray> PropertyList::toData(const QVariant &value, Format format)
{
    ToPlist converter(format);
    const PlistNode root = converter.convert(value, 0);
    if (!root) {
        qCWarning(lcShared).noquote() << "No property-list form for" << converter.problem();
        return std::nullopt;
    }
    std::optional<QByteArray> bytes = root.serialize(format);
    if (!bytes)
        qCWarning(lcShared) << "Property list serialisation failed";
    return bytes;
}

bool PropertyList::writeFile(const QString &path, const QVariant &value, Format format)
{
    const std::optional<QByteArray> bytes = toData(value, format);
    if (!bytes) {
        qCWarning(lcShared) << "Nothing written to" << path;
        return false;
    }
    const QDir folder = QFileInfo(path).absoluteDir();
    if (!folder.exists() && !QDir().mkpath(folder.absolutePath())) {
        qCWarning(lcShared) << "Cannot create folder" << folder.absolutePath();
        return false;
    }
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        qCWarning(lcShared) << "Cannot write" << path << ":" << file.errorString();
        return false;
    }
    if (file.write(*bytes) != bytes->size() || !file.commit()) {
        qCWarning(lcShared) << "Cannot write" << path << ":" << file.errorString();
        file.cancelWriting();
        return false;
    }
    return true;
}

bool PropertyList::isPropertyList(const QVariant &value)
{
    struct Check
    {
        static bool run(const QVariant &v, int depth)
        {
            if (depth > PlistNode::kMaxDepth)
                return false;
            switch (v.typeId()) {
            case QMetaType::Bool:
            case QMetaType::Int:
            case QMetaType::Short:
            case QMetaType::Char:
            case QMetaType::SChar:
            case QMetaType::Long:
            case QMetaType::LongLong:
            case QMetaType::UInt:
            case QMetaType::UShort:
            case QMetaType::UChar:
            case QMetaType::ULong:
            case QMetaType::ULongLong:
            case QMetaType::Double:
            case QMetaType::Float:
            case QMetaType::QString:
            case QMetaType::QByteArray:
            case QMetaType::QStringList:
                return true;
            case QMetaType::QDateTime:
                return v.toDateTime().isValid();
            case QMetaType::QVariantMap: {
                const QVariantMap map = v.toMap();
                for (auto it = map.cbegin(); it != map.cend(); ++it)
                    if (!run(it.value(), depth + 1))
                        return false;
                return true;
            }
            case QMetaType::QVariantHash: {
                const QVariantHash hash = v.toHash();
                for (auto it = hash.cbegin(); it != hash.cend(); ++it)
                    if (!run(it.value(), depth + 1))
                        return false;
                return true;
            }
            case QMetaType::QVariantList: {
                const QVariantList list = v.toList();
                for (const QVariant &element : list)
                    if (!run(element, depth + 1))
                        return false;
                return true;
            }
            default:
                return isNullMarker(v);
            }
        }
    };
    return Check::run(value, 0);
}

} // namespace brevona
