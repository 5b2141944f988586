#include "KeyboardData.h"

#include <algorithm>

#include <QDir>
#include <QRegularExpression>

#include "Logging.h"
#include "Paths.h"
#include "PropertyList.h"
#include "ResourceFiles.h"

namespace brevona {

namespace {

const QString kNumber = QStringLiteral(R"(\s*(-?\d+(?:\.\d+)?)\s*)");

std::optional<int> wholeNumber(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || value != static_cast<int>(value))
        return std::nullopt;
    return static_cast<int>(value);
}

std::optional<int> integerValue(const QVariant &value)
{
    if (value.typeId() != QMetaType::LongLong && value.typeId() != QMetaType::ULongLong &&
        value.typeId() != QMetaType::Int)
        return std::nullopt;
    bool ok = false;
    const qlonglong number = value.toLongLong(&ok);
    if (!ok || number < 0 || number > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(number);
}

} // namespace

std::optional<QPoint> KeyboardData::parsePoint(const QString &text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\{%1,%1\\}$").arg(kNumber));
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const auto x = wholeNumber(match.captured(1));
    const auto y = wholeNumber(match.captured(2));
    if (!x || !y)
        return std::nullopt;
    return QPoint(*x, *y);
}

std::optional<QSize> KeyboardData::parseSize(const QString &text)
{
    const auto pair = parsePoint(text);
    if (!pair || pair->x() < 0 || pair->y() < 0)
        return std::nullopt;
    return QSize(pair->x(), pair->y());
}

std::optional<QRect> KeyboardData::parseRect(const QString &text)
{
    static const QRegularExpression pattern(
        QStringLiteral("^\\{\\s*(\\{[^{}]*\\})\\s*,\\s*(\\{[^{}]*\\})\\s*\\}$"));
    const auto match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const auto origin = parsePoint(match.captured(1));
    const auto size = parseSize(match.captured(2));
    if (!origin || !size)
        return std::nullopt;
    return QRect(*origin, *size);
}

std::optional<KeyboardData> KeyboardData::load(const QString &folder)
{
    const QDir dir(folder);
    const auto fail = [&](const QString &what) {
        qCWarning(lcShared, "Keyboard data in %s unusable: %s", qUtf8Printable(folder), qUtf8Printable(what));
        return std::nullopt;
    };
    const auto info = PropertyList::readDictionary(dir.filePath(resourcefiles::ButtonData));
    const auto geometry = PropertyList::readDictionary(dir.filePath(resourcefiles::Geometry));
    const auto usages = PropertyList::readDictionary(dir.filePath(resourcefiles::UsageTable));
    const auto codes = PropertyList::readDictionary(dir.filePath(resourcefiles::VirtualKeyCodes));
    if (!info || !geometry || !usages || !codes)
        return fail(QStringLiteral("a key table is missing or not a property-list dictionary"));

    KeyboardData data;
    data.m_folder = dir.absolutePath();
    const QVariantMap areas = geometry->value(QStringLiteral("ButtonsNonStandardAreas")).toMap();
    const QRect picture(0, 0, kPictureWidth, kPictureHeight);
    for (auto it = info->cbegin(); it != info->cend(); ++it) {
        const QVariantMap entry = it.value().toMap();
        Key key;
        key.name = it.key();
        const auto keyIndex = integerValue(entry.value(QStringLiteral("KeyIndex"), qint64(0)));
        const auto keyCode = integerValue(entry.value(QStringLiteral("Char"), qint64(0)));
        if (!keyIndex || !keyCode || *keyCode > 255)
            return fail(QStringLiteral("key %1 has a bad KeyIndex or Char").arg(key.name));
        key.keyIndex = *keyIndex;
        key.keyCode = *keyCode;
        if (entry.contains(QStringLiteral("OLEDIndex"))) {
            const auto display = integerValue(entry.value(QStringLiteral("OLEDIndex")));
            const auto location = parsePoint(entry.value(QStringLiteral("Location")).toString());
            if (!display || *display < 1 || *display > kDisplayCount || !location)
                return fail(QStringLiteral("key %1 has a bad OLEDIndex or Location").arg(key.name));
            key.display = *display;
            key.location = *location;
            if (!picture.contains(key.cell()))
                return fail(QStringLiteral("the cell of key %1 leaves the layer picture").arg(key.name));
            if (data.m_byDisplay.contains(key.display))
                return fail(QStringLiteral("display %1 is given to two keys").arg(key.display));
            data.m_byDisplay.insert(key.display, 0);
        }
        if (areas.contains(key.name)) {
            key.area = parseRect(areas.value(key.name).toString());
            if (!key.area)
                return fail(QStringLiteral("key %1 has a bad outline").arg(key.name));
        }
        data.m_keys.push_back(std::move(key));
    }
    std::sort(data.m_keys.begin(), data.m_keys.end(), [](const Key &a, const Key &b) {
        const int left = a.display ? a.display : kDisplayCount + 1;
        const int right = b.display ? b.display : kDisplayCount + 1;
        return left != right ? left < right : a.name < b.name;
    });
    data.m_byDisplay.clear();
    for (int i = 0; i < static_cast<int>(data.m_keys.size()); ++i) {
        data.m_byName.insert(data.m_keys[i].name, i);
        if (data.m_keys[i].display)
            data.m_byDisplay.insert(data.m_keys[i].display, i);
    }

    data.m_usages = HidUsageTable::fromDictionary(*usages);
    if (!data.m_usages.isWellFormed())
        return fail(QStringLiteral("the usage table needs \"Standard\" and \"Multimedia\" dictionaries of "
                                   "usage numbers and key names"));
    for (auto it = codes->cbegin(); it != codes->cend(); ++it) {
        const auto code = integerValue(it.value());
        if (!code || !data.m_byName.contains(it.key()))
            return fail(QStringLiteral("virtual key code of %1 is bad or names no key").arg(it.key()));
        data.m_virtualKeyCodes.insert(it.key(), *code);
    }
    return data;
}

const KeyboardData &KeyboardData::shared()
{
    static const KeyboardData data = load(Paths::resourceFolder()).value_or(KeyboardData());
    return data;
}

QString KeyboardData::filePath(const QString &fileName) const
{
    return QDir(m_folder).filePath(fileName);
}

QStringList KeyboardData::keyNames() const
{
    QStringList names;
    names.reserve(static_cast<qsizetype>(m_keys.size()));
    for (const Key &key : m_keys)
        names.append(key.name);
    return names;
}

const KeyboardData::Key *KeyboardData::key(const QString &name) const
{
    const auto it = m_byName.constFind(name);
    return it == m_byName.cend() ? nullptr : &m_keys[static_cast<size_t>(it.value())];
}

const KeyboardData::Key *KeyboardData::keyForDisplay(int display) const
{
    const auto it = m_byDisplay.constFind(display);
    return it == m_byDisplay.cend() ? nullptr : &m_keys[static_cast<size_t>(it.value())];
}

QString KeyboardData::nameForUsage(int page, int usage) const
{
    return m_usages.nameForUsage(page, usage);
}

std::vector<std::pair<int, int>> KeyboardData::usagesForKey(const QString &name) const
{
    return m_usages.usagesForName(name);
}

} // namespace brevona
