#include "KeyedArchive.h"

#include <cmath>
#include <cstdint>
#include <vector>

#include <QDateTime>
#include <QHash>
#include <QStringList>
#include <QTimeZone>

#include "Logging.h"
#include "NullMarker.h"
#include "PlistNode.h"

namespace brevona {

namespace {

constexpr std::int64_t kArchiverVersion = 100000;
constexpr const char *kArchiver = "NSKeyedArchiver";
// Seconds between 1970-01-01 and 2001-01-01, the epoch of "NS.time".
constexpr double kReferenceEpochSecs = 978307200.0;
// 0001-01-01T00:00:00Z and 9999-12-31T23:59:59.999Z in milliseconds since 1970.
constexpr double kFirstMSecs = -62135596800000.0;
constexpr double kLastMSecs = 253402300799999.0;

enum class Kind
{
    Array,
    Dictionary,
    String,
    Data,
    Date,
    Null
};

// The classes whose archived form is understood, with the kind of value each decodes to. Sets
// decode to arrays: the values carry no set type.
const QHash<QString, Kind> &knownClasses()
{
    static const QHash<QString, Kind> classes{
        {QStringLiteral("NSArray"), Kind::Array},
        {QStringLiteral("NSMutableArray"), Kind::Array},
        {QStringLiteral("NSSet"), Kind::Array},
        {QStringLiteral("NSMutableSet"), Kind::Array},
        {QStringLiteral("NSOrderedSet"), Kind::Array},
        {QStringLiteral("NSMutableOrderedSet"), Kind::Array},
        {QStringLiteral("NSDictionary"), Kind::Dictionary},
        {QStringLiteral("NSMutableDictionary"), Kind::Dictionary},
        {QStringLiteral("NSString"), Kind::String},
        {QStringLiteral("NSMutableString"), Kind::String},
        {QStringLiteral("NSData"), Kind::Data},
        {QStringLiteral("NSMutableData"), Kind::Data},
        {QStringLiteral("NSDate"), Kind::Date},
        {QStringLiteral("NSNull"), Kind::Null},
    };
    return classes;
}

PlistNode newUid(std::uint64_t uid)
{
    return PlistNode(plist_new_uid(uid));
}

// A reference is a UID node; XML archives carry it as a dictionary {"CF$UID": n}.
std::optional<std::uint64_t> uidOf(plist_t node)
{
    if (!node)
        return std::nullopt;
    if (plist_get_node_type(node) == PLIST_UID) {
        std::uint64_t uid = 0;
        plist_get_uid_val(node, &uid);
        return uid;
    }
    if (plist_get_node_type(node) == PLIST_DICT && plist_dict_get_size(node) == 1) {
        plist_t value = plist_dict_get_item(node, "CF$UID");
        if (value && plist_get_node_type(value) == PLIST_UINT) {
            const QVariant number = PlistNode::integerValue(value);
            if (number.typeId() == QMetaType::LongLong && number.toLongLong() >= 0)
                return static_cast<std::uint64_t>(number.toLongLong());
        }
    }
    return std::nullopt;
}

std::optional<QString> stringOf(plist_t node)
{
    if (!node || plist_get_node_type(node) != PLIST_STRING)
        return std::nullopt;
    return PlistNode::stringValue(node);
}

// Builds $objects the way the platform's archiver lays it out: every object gets its number when
// it is first met, its contents follow it, and a class record is appended when a class is first
// used.
class Encoder
{
public:
    Encoder()
        : m_objects(plist_new_array())
    {
        plist_array_append_item(m_objects.get(), plist_new_string("$null"));
    }

    std::optional<std::uint64_t> encode(const QVariant &value, int depth)
    {
        if (depth > PlistNode::kMaxDepth) {
            m_problem = QStringLiteral("nesting deeper than %1 levels").arg(PlistNode::kMaxDepth);
            return std::nullopt;
        }
        if (isNullMarker(value))
            return record(QStringLiteral("NSNull"), PlistNode(plist_new_dict()));
        switch (value.typeId()) {
        case QMetaType::Bool:
            return append(PlistNode(plist_new_bool(value.toBool() ? 1 : 0)));
        case QMetaType::Int:
        case QMetaType::Short:
        case QMetaType::Char:
        case QMetaType::SChar:
        case QMetaType::Long:
        case QMetaType::LongLong:
            return append(PlistNode::newSigned(value.toLongLong()));
        case QMetaType::UInt:
        case QMetaType::UShort:
        case QMetaType::UChar:
        case QMetaType::ULong:
        case QMetaType::ULongLong:
            return append(PlistNode::newUnsigned(value.toULongLong()));
        case QMetaType::Double:
        case QMetaType::Float:
            return append(PlistNode(plist_new_real(value.toDouble())));
        case QMetaType::QString:
            return string(value.toString());
        case QMetaType::QByteArray:
            return append(PlistNode::newData(value.toByteArray()));
        case QMetaType::QDateTime:
            return date(value.toDateTime());
        case QMetaType::QVariantList:
        case QMetaType::QStringList:
            return array(value.toList(), depth);
        case QMetaType::QVariantMap:
            return dictionary(value.toMap(), depth);
        case QMetaType::QVariantHash: {
            const QVariantHash hash = value.toHash();
            QVariantMap map;
            for (auto it = hash.cbegin(); it != hash.cend(); ++it)
                map.insert(it.key(), it.value());
            return dictionary(map, depth);
        }
        default:
            m_problem =
                QStringLiteral("a value of type %1").arg(QString::fromLatin1(value.metaType().name()));
            return std::nullopt;
        }
    }

    std::optional<QByteArray> finish(std::uint64_t root)
    {
        PlistNode top(plist_new_dict());
        plist_t topKeys = plist_new_dict();
        plist_dict_set_item(topKeys, "root", newUid(root).release());
        plist_dict_set_item(top.get(), "$archiver", plist_new_string(kArchiver));
        plist_dict_set_item(top.get(), "$version", PlistNode::newSigned(kArchiverVersion).release());
        plist_dict_set_item(top.get(), "$top", topKeys);
        plist_dict_set_item(top.get(), "$objects", m_objects.release());
        return top.serialize(PlistNode::Format::Binary);
    }

    const QString &problem() const { return m_problem; }

private:
    std::uint64_t append(PlistNode node)
    {
        plist_array_append_item(m_objects.get(), node.release());
        return plist_array_get_size(m_objects.get()) - 1;
    }

    // Reserves the object's number before its contents are encoded.
    std::uint64_t reserve() { return append(PlistNode(plist_new_bool(0))); }

    void fill(std::uint64_t uid, PlistNode node)
    {
        plist_array_set_item(m_objects.get(), node.release(), static_cast<std::uint32_t>(uid));
    }

    std::uint64_t classUid(const QString &name)
    {
        const auto found = m_classes.constFind(name);
        if (found != m_classes.cend())
            return *found;
        plist_t classRecord = plist_new_dict();
        plist_t chain = plist_new_array();
        plist_array_append_item(chain, plist_new_string(name.toUtf8().constData()));
        plist_array_append_item(chain, plist_new_string("NSObject"));
        plist_dict_set_item(classRecord, "$classname", plist_new_string(name.toUtf8().constData()));
        plist_dict_set_item(classRecord, "$classes", chain);
        const std::uint64_t uid = append(PlistNode(classRecord));
        m_classes.insert(name, uid);
        return uid;
    }

    // An object record whose keys are already in `fields`.
    std::uint64_t record(const QString &className, PlistNode fields, std::optional<std::uint64_t> uid = {})
    {
        const std::uint64_t own = uid ? *uid : reserve();
        plist_dict_set_item(fields.get(), "$class", newUid(classUid(className)).release());
        fill(own, std::move(fields));
        return own;
    }

    std::optional<std::uint64_t> string(const QString &text)
    {
        const QString reason = PlistNode::textProblem(text, PlistNode::Format::Binary);
        if (!reason.isEmpty()) {
            m_problem = QStringLiteral("a string with ") + reason;
            return std::nullopt;
        }
        return append(PlistNode::newString(text));
    }

    std::optional<std::uint64_t> date(const QDateTime &value)
    {
        const double msecs = value.isValid() ? static_cast<double>(value.toMSecsSinceEpoch()) : 0.0;
        if (!value.isValid() || msecs < kFirstMSecs || msecs > kLastMSecs) {
            m_problem = QStringLiteral("a date outside the years 1 to 9999");
            return std::nullopt;
        }
        PlistNode fields(plist_new_dict());
        const double secs = msecs / 1000.0 - kReferenceEpochSecs;
        plist_dict_set_item(fields.get(), "NS.time", plist_new_real(secs));
        return record(QStringLiteral("NSDate"), std::move(fields));
    }

    std::optional<std::uint64_t> array(const QVariantList &list, int depth)
    {
        const std::uint64_t own = reserve();
        PlistNode refs(plist_new_array());
        for (const QVariant &element : list) {
            const std::optional<std::uint64_t> uid = encode(element, depth + 1);
            if (!uid)
                return std::nullopt;
            plist_array_append_item(refs.get(), newUid(*uid).release());
        }
        PlistNode fields(plist_new_dict());
        plist_dict_set_item(fields.get(), "NS.objects", refs.release());
        return record(QStringLiteral("NSArray"), std::move(fields), own);
    }

    std::optional<std::uint64_t> dictionary(const QVariantMap &map, int depth)
    {
        const std::uint64_t own = reserve();
        PlistNode keys(plist_new_array());
        PlistNode values(plist_new_array());
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            const std::optional<std::uint64_t> key = string(it.key());
            if (!key)
                return std::nullopt;
            plist_array_append_item(keys.get(), newUid(*key).release());
        }
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            const std::optional<std::uint64_t> value = encode(it.value(), depth + 1);
            if (!value)
                return std::nullopt;
            plist_array_append_item(values.get(), newUid(*value).release());
        }
        PlistNode fields(plist_new_dict());
        plist_dict_set_item(fields.get(), "NS.keys", keys.release());
        plist_dict_set_item(fields.get(), "NS.objects", values.release());
        return record(QStringLiteral("NSDictionary"), std::move(fields), own);
    }

    PlistNode m_objects;
    QHash<QString, std::uint64_t> m_classes;
    QString m_problem;
};

// Resolves references from the root. Every object is decoded once and its value reused for
// further references; an object met again while it is being decoded closes a cycle. The values
// an archive expands to are counted, so a small archive cannot unfold into an enormous value.
class Decoder
{
public:
    explicit Decoder(plist_t objects)
        : m_objects(objects)
        , m_count(plist_array_get_size(objects))
        , m_state(m_count, State::Unvisited)
        , m_values(m_count)
        , m_sizes(m_count, 0)
    {}

    std::optional<QVariant> reference(plist_t node, int depth, const char *where)
    {
        const std::optional<std::uint64_t> uid = uidOf(node);
        if (!uid)
            return fail(
                QStringLiteral("%1 holds something other than a reference").arg(QLatin1String(where)));
        return object(*uid, depth);
    }

    const QString &error() const { return m_error; }

private:
    enum class State : unsigned char
    {
        Unvisited,
        Decoding,
        Done
    };

    std::nullopt_t fail(const QString &message)
    {
        if (m_error.isEmpty())
            m_error = message;
        return std::nullopt;
    }

    std::optional<QVariant> object(std::uint64_t uid, int depth)
    {
        if (uid == 0) {
            m_size = 1;
            return nullMarker();
        }
        if (uid >= m_count)
            return fail(QStringLiteral("reference %1 out of range (%2 objects)").arg(uid).arg(m_count));
        if (m_state[uid] == State::Decoding)
            return fail(QStringLiteral("reference cycle through object %1").arg(uid));
        if (m_state[uid] == State::Done) {
            m_size = m_sizes[uid];
            return m_values[uid];
        }
        if (depth > PlistNode::kMaxDepth)
            return fail(QStringLiteral("nested deeper than %1 levels").arg(PlistNode::kMaxDepth));

        m_state[uid] = State::Decoding;
        std::optional<QVariant> value =
            decode(plist_array_get_item(m_objects, static_cast<std::uint32_t>(uid)), uid, depth);
        if (!value)
            return std::nullopt;
        m_state[uid] = State::Done;
        m_values[uid] = *value;
        m_sizes[uid] = m_size;
        return value;
    }

    // Decodes the object's value; leaves its expanded size in m_size.
    std::optional<QVariant> decode(plist_t node, std::uint64_t uid, int depth)
    {
        m_size = 1;
        switch (plist_get_node_type(node)) {
        case PLIST_STRING:
            return QVariant(PlistNode::stringValue(node));
        case PLIST_UINT:
            return PlistNode::integerValue(node);
        case PLIST_REAL:
            return QVariant(PlistNode::realValue(node));
        case PLIST_BOOLEAN:
            return QVariant(PlistNode::boolValue(node));
        case PLIST_DATA:
            return QVariant(PlistNode::dataValue(node));
        case PLIST_DATE: {
            const QDateTime date = PlistNode::dateValue(node);
            if (!date.isValid())
                return fail(QStringLiteral("object %1 is an invalid date").arg(uid));
            return QVariant(date);
        }
        case PLIST_DICT:
            return record(node, uid, depth);
        default:
            return fail(QStringLiteral("object %1 is neither a value nor an object record").arg(uid));
        }
    }

    std::optional<Kind> classOf(plist_t record, std::uint64_t uid)
    {
        const std::optional<std::uint64_t> classUid = uidOf(plist_dict_get_item(record, "$class"));
        if (!classUid || *classUid == 0 || *classUid >= m_count)
            return fail(QStringLiteral("object %1 has no valid class reference").arg(uid));
        const auto cached = m_kinds.constFind(*classUid);
        if (cached != m_kinds.cend())
            return *cached;
        plist_t classRecord = plist_array_get_item(m_objects, static_cast<std::uint32_t>(*classUid));
        if (plist_get_node_type(classRecord) != PLIST_DICT)
            return fail(QStringLiteral("class record %1 is not a dictionary").arg(*classUid));
        const std::optional<QString> name = stringOf(plist_dict_get_item(classRecord, "$classname"));
        if (!name)
            return fail(QStringLiteral("class record %1 has no class name").arg(*classUid));
        // As the platform's unarchiver does, an unknown class is read as the first known class
        // of its ancestry.
        QStringList candidates{*name};
        plist_t chain = plist_dict_get_item(classRecord, "$classes");
        if (chain && plist_get_node_type(chain) == PLIST_ARRAY) {
            const std::uint32_t n = plist_array_get_size(chain);
            for (std::uint32_t i = 0; i < n; ++i)
                if (const std::optional<QString> ancestor = stringOf(plist_array_get_item(chain, i)))
                    candidates << *ancestor;
        }
        for (const QString &candidate : candidates) {
            const auto known = knownClasses().constFind(candidate);
            if (known != knownClasses().cend()) {
                m_kinds.insert(*classUid, *known);
                return *known;
            }
        }
        return fail(QStringLiteral("unknown class %1").arg(*name));
    }

    std::optional<QVariant> record(plist_t node, std::uint64_t uid, int depth)
    {
        const std::optional<Kind> kind = classOf(node, uid);
        if (!kind)
            return std::nullopt;
        switch (*kind) {
        case Kind::Null:
            return nullMarker();
        case Kind::Date: {
            plist_t time = plist_dict_get_item(node, "NS.time");
            std::optional<double> secs;
            if (time && plist_get_node_type(time) == PLIST_REAL)
                secs = PlistNode::realValue(time);
            else if (time && plist_get_node_type(time) == PLIST_UINT)
                secs = PlistNode::integerValue(time).toDouble();
            const QDateTime date = secs ? dateFromSeconds(*secs) : QDateTime();
            if (!date.isValid())
                return fail(QStringLiteral("date %1 has no valid NS.time").arg(uid));
            return QVariant(date);
        }
        case Kind::String:
            return wrapped(node, uid, depth, "NS.string", PLIST_STRING);
        case Kind::Data:
            return wrapped(node, uid, depth, "NS.data", PLIST_DATA);
        case Kind::Array:
            return array(node, uid, depth);
        case Kind::Dictionary:
            return dictionary(node, uid, depth);
        }
        return std::nullopt;
    }

    // Dates keep whole milliseconds. Beyond the years 1 to 9999 (or NaN) a double of seconds no
    // longer holds every millisecond, and the date is refused.
    static QDateTime dateFromSeconds(double secs)
    {
        const double msecs = (secs + kReferenceEpochSecs) * 1000.0;
        if (!(msecs >= kFirstMSecs - 1 && msecs <= kLastMSecs + 1))
            return {};
        const double rounded = static_cast<double>(std::llround(msecs));
        if (rounded < kFirstMSecs || rounded > kLastMSecs)
            return {};
        return QDateTime::fromMSecsSinceEpoch(static_cast<qint64>(rounded), QTimeZone::utc());
    }

    // NSString and NSData records hold their contents inline or by reference.
    std::optional<QVariant> wrapped(plist_t node, std::uint64_t uid, int depth, const char *key,
                                    plist_type type)
    {
        plist_t content = plist_dict_get_item(node, key);
        if (content && plist_get_node_type(content) == type) {
            m_size = 1;
            return type == PLIST_STRING ? QVariant(PlistNode::stringValue(content))
                                        : QVariant(PlistNode::dataValue(content));
        }
        if (!uidOf(content))
            return fail(QStringLiteral("object %1 has no %2").arg(uid).arg(QLatin1String(key)));
        std::optional<QVariant> value = reference(content, depth + 1, key);
        if (!value)
            return std::nullopt;
        const QMetaType::Type expected = type == PLIST_STRING ? QMetaType::QString : QMetaType::QByteArray;
        if (value->typeId() != expected)
            return fail(
                QStringLiteral("%1 of object %2 has the wrong type").arg(QLatin1String(key)).arg(uid));
        m_size = 1;
        return value;
    }

    // The references of an NS.objects or NS.keys array, decoded in order.
    std::optional<QVariantList> elements(plist_t node, std::uint64_t uid, int depth, const char *key,
                                         std::int64_t &size)
    {
        plist_t refs = plist_dict_get_item(node, key);
        if (!refs || plist_get_node_type(refs) != PLIST_ARRAY)
            return fail(QStringLiteral("object %1 has no %2 array").arg(uid).arg(QLatin1String(key)));
        const std::uint32_t n = plist_array_get_size(refs);
        QVariantList list;
        list.reserve(n);
        for (std::uint32_t i = 0; i < n; ++i) {
            std::optional<QVariant> element = reference(plist_array_get_item(refs, i), depth + 1, key);
            if (!element)
                return std::nullopt;
            size += m_size;
            if (size > PlistNode::kMaxNodes)
                return fail(
                    QStringLiteral("archive expands to more than %1 values").arg(PlistNode::kMaxNodes));
            list.append(std::move(*element));
        }
        return list;
    }

    std::optional<QVariant> array(plist_t node, std::uint64_t uid, int depth)
    {
        std::int64_t size = 1;
        std::optional<QVariantList> list = elements(node, uid, depth, "NS.objects", size);
        if (!list)
            return std::nullopt;
        m_size = size;
        return QVariant(std::move(*list));
    }

    std::optional<QVariant> dictionary(plist_t node, std::uint64_t uid, int depth)
    {
        std::int64_t size = 1;
        const std::optional<QVariantList> keys = elements(node, uid, depth, "NS.keys", size);
        if (!keys)
            return std::nullopt;
        const std::optional<QVariantList> values = elements(node, uid, depth, "NS.objects", size);
        if (!values)
            return std::nullopt;
        if (keys->size() != values->size())
            return fail(QStringLiteral("dictionary %1 has %2 keys but %3 objects")
                            .arg(uid)
                            .arg(keys->size())
                            .arg(values->size()));
        QVariantMap map;
        for (qsizetype i = 0; i < keys->size(); ++i) {
            if (keys->at(i).typeId() != QMetaType::QString)
                return fail(QStringLiteral("dictionary %1 has a key that is not a string").arg(uid));
            map.insert(keys->at(i).toString(), values->at(i));
        }
        m_size = size;
        return QVariant(map);
    }

    plist_t m_objects;
    std::uint64_t m_count;
    std::vector<State> m_state;
    std::vector<QVariant> m_values;
    std::vector<std::int64_t> m_sizes;
    QHash<std::uint64_t, Kind> m_kinds;
    std::int64_t m_size = 0; // expanded size of the value decoded last
    QString m_error;
};

bool looksLikePropertyList(const QByteArray &data)
{
    if (data.startsWith("bplist"))
        return true;
    const QByteArray start = data.left(64).trimmed();
    return start.startsWith('<') || start.startsWith("\xEF\xBB\xBF<");
}

Result<QVariant> failure(const QString &error)
{
    qCWarning(lcShared).noquote() << "Keyed archive not decoded:" << error;
    return Result<QVariant>::failure(error);
}

} // namespace

std::optional<QByteArray> KeyedArchive::archive(const QVariant &value)
{
    Encoder encoder;
    const std::optional<std::uint64_t> root = encoder.encode(value, 0);
    if (!root) {
        qCWarning(lcShared).noquote() << "Cannot archive" << encoder.problem();
        return std::nullopt;
    }
    return encoder.finish(*root);
}

Result<QVariant> KeyedArchive::unarchive(const QByteArray &data)
{
    // Plain data that is no property list at all is an expected case for the callers.
    if (!looksLikePropertyList(data)) {
        qCDebug(lcShared) << "Data is no keyed archive";
        return Result<QVariant>::failure(QStringLiteral("not a property list"));
    }
    const PlistNode root = PlistNode::parse(data);
    if (!root)
        return failure(QStringLiteral("not a readable property list"));
    if (plist_get_node_type(root.get()) != PLIST_DICT)
        return failure(QStringLiteral("top level is not a dictionary"));
    if (stringOf(plist_dict_get_item(root.get(), "$archiver")) != QLatin1String(kArchiver))
        return failure(QStringLiteral("$archiver is not NSKeyedArchiver"));
    plist_t version = plist_dict_get_item(root.get(), "$version");
    if (!version || plist_get_node_type(version) != PLIST_UINT)
        return failure(QStringLiteral("$version is not a number"));
    plist_t objects = plist_dict_get_item(root.get(), "$objects");
    if (!objects || plist_get_node_type(objects) != PLIST_ARRAY || plist_array_get_size(objects) == 0 ||
        stringOf(plist_array_get_item(objects, 0)) != QStringLiteral("$null"))
        return failure(QStringLiteral("$objects is not an array starting with $null"));
    plist_t top = plist_dict_get_item(root.get(), "$top");
    if (!top || plist_get_node_type(top) != PLIST_DICT)
        return failure(QStringLiteral("$top is not a dictionary"));

    Decoder decoder(objects);
    std::optional<QVariant> value = decoder.reference(plist_dict_get_item(top, "root"), 0, "root");
    if (!value)
        return failure(decoder.error());
    return std::move(*value);
}

} // namespace brevona
