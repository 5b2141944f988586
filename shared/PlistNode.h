#pragma once

#include <cstdint>
#include <optional>

#include <plist/plist.h>

#include <QByteArray>
#include <QVariant>

#include "PropertyList.h"

class QDateTime;
class QString;

namespace brevona {

// Owns one libplist tree (a node without parent) and frees it with plist_free. Move-only.
//
// The class also gathers what libplist 2.2 needs around it to be safe and lossless:
// - parse() checks the input before libplist sees it. libplist frees trees and parses binary
//   property lists recursively, and copies a binary object once per reference to it, so a deep
//   or densely shared input would exhaust the stack or the memory of the process.
// - integers are stored as unsigned 64 bits with a hidden width flag that tells negative numbers
//   from values above INT64_MAX; dates carry 32-bit seconds since 2001-01-01 in the API. The
//   helpers below read and create such nodes without losing either.
class PlistNode
{
public:
    using Format = PropertyList::Format;

    // Deepest nesting of arrays and dictionaries accepted from outside or produced by us.
    static constexpr int kMaxDepth = 512;
    // Most values a parsed tree may expand to (shared binary objects count once per reference).
    static constexpr std::int64_t kMaxNodes = 1'000'000;

    PlistNode() noexcept = default;
    explicit PlistNode(plist_t node) noexcept
        : m_node(node)
    {}
    ~PlistNode();
    PlistNode(PlistNode &&other) noexcept;
    PlistNode &operator=(PlistNode &&other) noexcept;
    PlistNode(const PlistNode &) = delete;
    PlistNode &operator=(const PlistNode &) = delete;

    plist_t get() const noexcept { return m_node; }
    plist_t release() noexcept;
    explicit operator bool() const noexcept { return m_node != nullptr; }

    // Parses XML or binary property-list bytes. An empty node for malformed, too deep or too
    // large input; the reason is logged, or given in `problem` when the caller logs it.
    static PlistNode parse(const QByteArray &bytes, QString *problem = nullptr);
    // Serialises the tree. Nothing when libplist produces no output.
    std::optional<QByteArray> serialize(Format format) const;

    // Scalar nodes. Each returns an owned node without parent.
    static PlistNode newSigned(std::int64_t value);
    static PlistNode newUnsigned(std::uint64_t value);
    static PlistNode newString(const QString &value);
    static PlistNode newData(const QByteArray &value);
    // Nothing for an invalid date.
    static PlistNode newDate(const QDateTime &value);

    // Why a string cannot be stored unaltered in the format, or an empty string when it can.
    static QString textProblem(const QString &text, Format format);

    // Readers of scalar nodes; the caller checks the node type first.
    // An integer reads as qint64, or as quint64 when it lies above INT64_MAX.
    static QVariant integerValue(plist_t node);
    static QString stringValue(plist_t node);
    static QString keyValue(plist_t node);
    static QByteArray dataValue(plist_t node);
    // An invalid QDateTime for a date that is no number or lies beyond the years 1 to 9999.
    static QDateTime dateValue(plist_t node);
    static bool boolValue(plist_t node);
    static double realValue(plist_t node);

private:
    plist_t m_node = nullptr;
};

} // namespace brevona
