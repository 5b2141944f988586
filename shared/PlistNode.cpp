#include "PlistNode.h"

#include <cstdlib>
#include <cstring>
#include <limits>
#include <utility>
#include <vector>

#include <QDateTime>
#include <QString>
#include <QTimeZone>
#include <QXmlStreamReader>

#include "Logging.h"

namespace brevona {

namespace {

// Seconds between 1970-01-01 and 2001-01-01, the epoch of property-list dates.
constexpr qint64 kReferenceEpochSecs = 978307200;

// libplist takes buffer lengths as 32-bit values.
constexpr qsizetype kMaxInputBytes = std::numeric_limits<std::uint32_t>::max();

// Checks a binary property list before libplist parses it: every offset and reference lies in
// the buffer, the object graph has no cycle, nests no deeper than kMaxDepth and expands to no
// more than kMaxNodes values. Returns the reason for refusing, or an empty string.
class BinaryPlistCheck
{
public:
    explicit BinaryPlistCheck(const QByteArray &bytes)
        : m_data(reinterpret_cast<const unsigned char *>(bytes.constData()))
        , m_size(static_cast<std::uint64_t>(bytes.size()))
    {}

    QString run()
    {
        constexpr std::uint64_t kHeader = 8;
        constexpr std::uint64_t kTrailer = 32;
        if (m_size < kHeader + kTrailer + 1)
            return QStringLiteral("binary property list too short");
        const unsigned char *trailer = m_data + m_size - kTrailer;
        m_offsetSize = trailer[6];
        m_refSize = trailer[7];
        m_count = bigEndian(trailer + 8, 8);
        const std::uint64_t top = bigEndian(trailer + 16, 8);
        m_tableOffset = bigEndian(trailer + 24, 8);
        if (m_offsetSize < 1 || m_offsetSize > 8 || m_refSize < 1 || m_refSize > 8)
            return QStringLiteral("binary property list with invalid integer sizes");
        const std::uint64_t tableEnd = m_size - kTrailer;
        if (m_count == 0 || top >= m_count || m_tableOffset < kHeader || m_tableOffset > tableEnd ||
            m_count > (tableEnd - m_tableOffset) / m_offsetSize)
            return QStringLiteral("binary property list with invalid offset table");
        return walk(top);
    }

private:
    struct Frame
    {
        std::uint64_t object;
        std::uint64_t firstRef; // byte position of the first reference
        std::uint64_t refCount;
        std::uint64_t keyCount = 0; // the first references of a dictionary are its keys
        std::uint64_t next = 0;     // index of the next reference to visit
        int height = 1;
        std::int64_t expanded = 1;
    };

    enum State : unsigned char
    {
        Unvisited,
        Visiting,
        Done
    };

    // kMaxDepth containers, then one scalar.
    static constexpr int kMaxHeight = PlistNode::kMaxDepth + 1;

    std::uint64_t bigEndian(const unsigned char *p, unsigned n) const
    {
        std::uint64_t v = 0;
        for (unsigned i = 0; i < n; ++i)
            v = (v << 8) | p[i];
        return v;
    }

    std::optional<std::uint64_t> objectOffset(std::uint64_t object) const
    {
        const std::uint64_t offset = bigEndian(m_data + m_tableOffset + object * m_offsetSize, m_offsetSize);
        if (offset < 8 || offset >= m_tableOffset)
            return std::nullopt;
        return offset;
    }

    // An object's type nibble, its length field and where its payload starts.
    struct Extent
    {
        unsigned type;
        std::uint64_t count;
        std::uint64_t payload;
    };

    std::optional<Extent> extent(std::uint64_t object) const
    {
        const std::optional<std::uint64_t> offset = objectOffset(object);
        if (!offset)
            return std::nullopt;
        const unsigned char marker = m_data[*offset];
        Extent e{static_cast<unsigned>(marker >> 4), static_cast<std::uint64_t>(marker & 0x0F), *offset + 1};
        // Lengths of 15 and more follow the marker as an integer object.
        const bool hasLength = e.type >= 0x4 && e.type != 0x8;
        if (hasLength && e.count == 0x0F) {
            if (e.payload >= m_tableOffset)
                return std::nullopt;
            const unsigned char intMarker = m_data[e.payload];
            if ((intMarker >> 4) != 0x1 || (intMarker & 0x0F) > 3)
                return std::nullopt;
            const unsigned width = 1u << (intMarker & 0x0F);
            if (e.payload + 1 + width > m_tableOffset)
                return std::nullopt;
            e.count = bigEndian(m_data + e.payload + 1, width);
            e.payload += 1 + width;
        }
        return e;
    }

    // Fills the frame's reference range when the object is a container. False when the object
    // lies outside the buffer.
    bool describe(Frame &frame) const
    {
        const std::optional<Extent> e = extent(frame.object);
        if (!e)
            return false;
        frame.keyCount = 0;
        // Arrays (0xA), ordered sets (0xB), sets (0xC) and dictionaries (0xD) hold references.
        if (e->type < 0xA || e->type > 0xD) {
            frame.refCount = 0;
            return true;
        }
        const std::uint64_t available = (m_tableOffset - e->payload) / m_refSize;
        if (e->count > available || (e->type == 0xD && e->count > available / 2))
            return false;
        frame.firstRef = e->payload;
        frame.refCount = e->type == 0xD ? e->count * 2 : e->count;
        if (e->type == 0xD)
            frame.keyCount = e->count;
        return true;
    }

    // libplist aborts on a dictionary key holding a NUL character, so keys must be strings
    // (ASCII 0x5 or UTF-16 0x6) without one.
    bool validKey(std::uint64_t object)
    {
        if (m_keyChecked[object])
            return true;
        const std::optional<Extent> e = extent(object);
        if (!e || (e->type != 0x5 && e->type != 0x6))
            return false;
        const std::uint64_t unit = e->type == 0x6 ? 2 : 1;
        if (e->count > (m_tableOffset - e->payload) / unit)
            return false;
        for (std::uint64_t i = 0; i < e->count; ++i) {
            const unsigned char *c = m_data + e->payload + i * unit;
            if (c[0] == 0 && (unit == 1 || c[1] == 0))
                return false;
        }
        m_keyChecked[object] = true;
        return true;
    }

    QString walk(std::uint64_t top)
    {
        std::vector<State> state(m_count, Unvisited);
        std::vector<int> height(m_count, 0);
        std::vector<std::int64_t> expanded(m_count, 0);
        m_keyChecked.assign(m_count, false);
        std::vector<Frame> stack;
        stack.push_back(Frame{top, 0, 0});
        if (!describe(stack.back()))
            return QStringLiteral("binary property list object out of bounds");
        state[top] = Visiting;

        while (!stack.empty()) {
            Frame &frame = stack.back();
            if (frame.next == frame.refCount) {
                if (frame.height > kMaxHeight)
                    return QStringLiteral("property list nested deeper than %1 levels")
                        .arg(PlistNode::kMaxDepth);
                if (frame.expanded > PlistNode::kMaxNodes)
                    return QStringLiteral("property list expands to more than %1 values")
                        .arg(PlistNode::kMaxNodes);
                state[frame.object] = Done;
                height[frame.object] = frame.height;
                expanded[frame.object] = frame.expanded;
                const Frame finished = frame;
                stack.pop_back();
                if (!stack.empty()) {
                    Frame &parent = stack.back();
                    parent.height = std::max(parent.height, finished.height + 1);
                    parent.expanded += finished.expanded;
                }
                continue;
            }
            const std::uint64_t child =
                bigEndian(m_data + frame.firstRef + frame.next * m_refSize, m_refSize);
            const bool isKey = frame.next < frame.keyCount;
            ++frame.next;
            if (child >= m_count)
                return QStringLiteral("binary property list reference out of range");
            if (isKey && !validKey(child))
                return QStringLiteral("binary property list with a dictionary key that is no text");
            if (state[child] == Visiting)
                return QStringLiteral("binary property list with a reference cycle");
            if (state[child] == Done) {
                frame.height = std::max(frame.height, height[child] + 1);
                frame.expanded += expanded[child];
                if (frame.expanded > PlistNode::kMaxNodes)
                    return QStringLiteral("property list expands to more than %1 values")
                        .arg(PlistNode::kMaxNodes);
                continue;
            }
            if (static_cast<int>(stack.size()) >= kMaxHeight)
                return QStringLiteral("property list nested deeper than %1 levels").arg(PlistNode::kMaxDepth);
            Frame next{child, 0, 0};
            if (!describe(next))
                return QStringLiteral("binary property list object out of bounds");
            state[child] = Visiting;
            stack.push_back(next);
        }
        return {};
    }

    const unsigned char *m_data;
    std::uint64_t m_size;
    unsigned m_offsetSize = 0;
    unsigned m_refSize = 0;
    std::uint64_t m_count = 0;
    std::uint64_t m_tableOffset = 0;
    std::vector<bool> m_keyChecked;
};

// XML is parsed by libplist without recursion, but the tree is freed recursively, so the nesting
// is measured first. A document that is not well-formed XML is no property list either.
QString checkXml(const QByteArray &bytes)
{
    QXmlStreamReader reader(bytes);
    int depth = 0;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::StartElement:
            // Two levels more: the <plist> element around the value and the innermost scalar.
            if (++depth > PlistNode::kMaxDepth + 2)
                return QStringLiteral("property list nested deeper than %1 levels").arg(PlistNode::kMaxDepth);
            break;
        case QXmlStreamReader::EndElement:
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return QStringLiteral("malformed XML at line %1: %2")
            .arg(reader.lineNumber())
            .arg(reader.errorString());
    return {};
}

// Builds a scalar node the public API of libplist cannot create directly (integers above
// INT64_MAX, dates beyond 32-bit seconds) by letting its XML reader produce it.
PlistNode scalarFromXml(const QByteArray &element)
{
    const QByteArray document = "<plist version=\"1.0\">" + element + "</plist>";
    plist_t node = nullptr;
    plist_from_xml(document.constData(), static_cast<std::uint32_t>(document.size()), &node);
    return PlistNode(node);
}

// libplist's XML writer renders dates beyond 32-bit seconds correctly although its API cannot
// return them, so such a date is read back from the XML of a detached copy.
QByteArray elementText(plist_t node, const char *tag)
{
    PlistNode copy(plist_copy(node));
    const std::optional<QByteArray> xml = copy.serialize(PlistNode::Format::Xml);
    if (!xml)
        return {};
    const QByteArray open = QByteArray("<") + tag + ">";
    const qsizetype start = xml->indexOf(open);
    const qsizetype end = xml->indexOf("</", start);
    if (start < 0 || end < 0)
        return {};
    return xml->mid(start + open.size(), end - start - open.size());
}

} // namespace

PlistNode::~PlistNode()
{
    if (m_node)
        plist_free(m_node);
}

PlistNode::PlistNode(PlistNode &&other) noexcept
    : m_node(std::exchange(other.m_node, nullptr))
{}

PlistNode &PlistNode::operator=(PlistNode &&other) noexcept
{
    if (this != &other) {
        if (m_node)
            plist_free(m_node);
        m_node = std::exchange(other.m_node, nullptr);
    }
    return *this;
}

plist_t PlistNode::release() noexcept
{
    return std::exchange(m_node, nullptr);
}

PlistNode PlistNode::parse(const QByteArray &bytes, QString *problem)
{
    const auto refuse = [problem](const QString &reason, bool warn) {
        if (problem)
            *problem = reason;
        else if (warn)
            qCWarning(lcShared).noquote() << reason;
        else
            qCDebug(lcShared).noquote() << reason;
        return PlistNode();
    };
    if (bytes.isEmpty())
        return refuse(QStringLiteral("Empty input is no property list"), false);
    if (bytes.size() > kMaxInputBytes)
        return refuse(QStringLiteral("Property list of %1 bytes is too large").arg(bytes.size()), true);
    const auto length = static_cast<std::uint32_t>(bytes.size());
    const bool binary = plist_is_binary(bytes.constData(), length) != 0;
    const QString check = binary ? BinaryPlistCheck(bytes).run() : checkXml(bytes);
    if (!check.isEmpty())
        return refuse(QStringLiteral("Property list refused: ") + check, true);
    plist_t node = nullptr;
    if (binary)
        plist_from_bin(bytes.constData(), length, &node);
    else
        plist_from_xml(bytes.constData(), length, &node);
    if (!node)
        return refuse(QStringLiteral("Malformed property list"), true);
    return PlistNode(node);
}

std::optional<QByteArray> PlistNode::serialize(Format format) const
{
    if (!m_node)
        return std::nullopt;
    // libplist leaves an output pointer that is not null untouched.
    char *out = nullptr;
    std::uint32_t length = 0;
    if (format == Format::Xml)
        plist_to_xml(m_node, &out, &length);
    else
        plist_to_bin(m_node, &out, &length);
    if (!out)
        return std::nullopt;
    QByteArray result(out, static_cast<qsizetype>(length));
    if (format == Format::Xml)
        plist_to_xml_free(out);
    else
        plist_to_bin_free(out);
    return result;
}

PlistNode PlistNode::newSigned(std::int64_t value)
{
    return PlistNode(plist_new_uint(static_cast<std::uint64_t>(value)));
}

PlistNode PlistNode::newUnsigned(std::uint64_t value)
{
    if (value <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return newSigned(static_cast<std::int64_t>(value));
    return scalarFromXml("<integer>" + QByteArray::number(value) + "</integer>");
}

PlistNode PlistNode::newString(const QString &value)
{
    return PlistNode(plist_new_string(value.toUtf8().constData()));
}

PlistNode PlistNode::newData(const QByteArray &value)
{
    return PlistNode(plist_new_data(value.constData(), static_cast<std::uint64_t>(value.size())));
}

PlistNode PlistNode::newDate(const QDateTime &value)
{
    if (!value.isValid())
        return {};
    const qint64 msecs = value.toMSecsSinceEpoch() - kReferenceEpochSecs * 1000;
    const qint64 secs = msecs >= 0 ? msecs / 1000 : -((-msecs + 999) / 1000);
    const qint64 usecs = (msecs - secs * 1000) * 1000;
    if (secs > std::numeric_limits<std::int32_t>::min() && secs < std::numeric_limits<std::int32_t>::max())
        return PlistNode(plist_new_date(static_cast<std::int32_t>(secs), static_cast<std::int32_t>(usecs)));
    // Outside the API's 32-bit range: whole seconds through the XML reader.
    const QDateTime utc = value.toUTC();
    if (utc.date().year() < 1 || utc.date().year() > 9999)
        return {};
    return scalarFromXml("<date>" + utc.toString(Qt::ISODate).toLatin1() + "</date>");
}

QVariant PlistNode::integerValue(plist_t node)
{
    std::uint64_t raw = 0;
    plist_get_uint_val(node, &raw);
    if (raw <= static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max()))
        return QVariant::fromValue(static_cast<qint64>(raw));
    // The top bit is set: a negative number unless the node carries the wide-unsigned flag,
    // which plist_compare_node_value sees and a fresh node of the same bits lacks.
    PlistNode plain(plist_new_uint(raw));
    if (plist_compare_node_value(node, plain.get()))
        return QVariant::fromValue(static_cast<qint64>(raw));
    return QVariant::fromValue(static_cast<quint64>(raw));
}

QString PlistNode::stringValue(plist_t node)
{
    // The reported length is not consistent across libplist's readers for strings holding a NUL
    // character; such strings end at the first NUL, as everywhere else in libplist.
    const char *text = plist_get_string_ptr(node, nullptr);
    if (!text)
        return {};
    return QString::fromUtf8(text, static_cast<qsizetype>(std::strlen(text)));
}

QString PlistNode::keyValue(plist_t node)
{
    char *key = nullptr;
    plist_get_key_val(node, &key);
    const QString result = QString::fromUtf8(key);
    std::free(key);
    return result;
}

QByteArray PlistNode::dataValue(plist_t node)
{
    std::uint64_t length = 0;
    const char *bytes = plist_get_data_ptr(node, &length);
    if (!bytes || length > static_cast<std::uint64_t>(std::numeric_limits<qsizetype>::max()))
        return {};
    return QByteArray(bytes, static_cast<qsizetype>(length));
}

QDateTime PlistNode::dateValue(plist_t node)
{
    std::int32_t secs = 0;
    std::int32_t usecs = 0;
    plist_get_date_val(node, &secs, &usecs);
    if (secs == std::numeric_limits<std::int32_t>::min() ||
        secs == std::numeric_limits<std::int32_t>::max()) {
        // Saturated: the date lies beyond 32-bit seconds (or is no number). Its XML text has
        // whole seconds; a date that has none is invalid.
        const QDateTime far =
            QDateTime::fromString(QString::fromLatin1(elementText(node, "date")), Qt::ISODate);
        return far.isValid() ? far.toUTC() : QDateTime();
    }
    if (usecs <= -1'000'000 || usecs >= 1'000'000)
        return {};
    // The seconds are truncated toward zero and the microseconds come without their sign, so
    // 4.5 s before and 3.5 s before the epoch both read as (-4, 500000) or (-3, 500000). The
    // stored value equals exactly one of the two readings.
    bool negative = secs < 0;
    if (usecs != 0) {
        const PlistNode below(plist_new_date(secs, -usecs));
        const PlistNode above(plist_new_date(secs, usecs));
        if (plist_compare_node_value(node, below.get()))
            negative = true;
        else if (plist_compare_node_value(node, above.get()))
            negative = false;
    }
    const qint64 totalUsecs =
        (kReferenceEpochSecs + secs) * 1'000'000 + (negative ? -qint64(usecs) : qint64(usecs));
    // The nearest millisecond: libplist truncates the microseconds, so a date written with whole
    // milliseconds may read one microsecond short.
    const qint64 shifted = totalUsecs + 500;
    const qint64 msecs = shifted >= 0 ? shifted / 1000 : -((-shifted + 999) / 1000);
    return QDateTime::fromMSecsSinceEpoch(msecs, QTimeZone::utc());
}

// libplist writes strings up to their first NUL and XML text verbatim, so a string with a NUL
// (any format), an unpaired surrogate (any format) or a character XML 1.0 forbids (XML only)
// would come back altered or make the file unreadable: such a string has no property-list form.
QString PlistNode::textProblem(const QString &text, Format format)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text.at(i).unicode();
        if (c == 0)
            return QStringLiteral("a NUL character");
        if (QChar::isHighSurrogate(c)) {
            if (i + 1 < n && QChar::isLowSurrogate(text.at(i + 1).unicode())) {
                ++i;
                continue;
            }
            return QStringLiteral("an unpaired surrogate");
        }
        if (QChar::isLowSurrogate(c))
            return QStringLiteral("an unpaired surrogate");
        if (format == PropertyList::Format::Xml &&
            ((c < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') || c == 0xFFFE || c == 0xFFFF))
            return QStringLiteral("character U+%1, which XML cannot hold")
                .arg(static_cast<unsigned>(c), 4, 16, QLatin1Char('0'));
    }
    return {};
}

bool PlistNode::boolValue(plist_t node)
{
    std::uint8_t value = 0;
    plist_get_bool_val(node, &value);
    return value != 0;
}

double PlistNode::realValue(plist_t node)
{
    double value = 0;
    plist_get_real_val(node, &value);
    return value;
}

} // namespace brevona
