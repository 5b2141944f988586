#include "KeyTable.h"

#include <algorithm>
#include <cmath>
#include <set>

#include <QFile>
#include <QRegularExpression>

namespace brevona {

namespace {

const QStringList kColumns = {"name",  "display", "matrix",  "x",      "y",    "w",     "h",
                              "evdev", "usage",   "hidname", "driver", "kind", "labels"};

bool isNone(const QString &cell)
{
    return cell == QLatin1String("-");
}

// Key units are written in quarters at most, so positions stay whole pixels for any even unit.
std::optional<double> parseUnits(const QString &cell)
{
    bool ok = false;
    const double value = cell.toDouble(&ok);
    if (!ok || value < 0 || value > 100 || std::fmod(value * 4, 1.0) != 0.0)
        return std::nullopt;
    return value;
}

std::optional<int> parseNumber(const QString &cell, int min, int max)
{
    bool ok = false;
    const int value = cell.toInt(&ok, 0);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

std::optional<KeyTable::Usage> parseUsage(const QString &cell)
{
    const QStringList parts = cell.split(QLatin1Char(':'));
    if (parts.size() != 2)
        return std::nullopt;
    const auto page = parseNumber(parts[0], 1, 0xFFFF);
    const auto usage = parseNumber(parts[1], 1, 0xFFFF);
    if (!page || !usage)
        return std::nullopt;
    return KeyTable::Usage{*page, *usage};
}

} // namespace

int KeyTable::Key::x11KeyCode() const
{
    if (evdevName.isEmpty())
        return 0;
    const int code = evdevCode + 8;
    return code <= 255 ? code : 0;
}

std::optional<KeyTable> KeyTable::readFile(const QString &path, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    return parse(QString::fromUtf8(file.readAll()), error);
}

std::optional<KeyTable> KeyTable::parse(const QString &text, QString *error)
{
    KeyTable table;
    bool headerSeen = false;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed().isEmpty() ? QString() : lines[i];
        const auto fail = [&](const QString &what) {
            *error = QStringLiteral("line %1: %2").arg(i + 1).arg(what);
            return std::nullopt;
        };
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList cells = line.split(QLatin1Char('\t'));
        for (QString &cell : cells)
            cell = cell.trimmed();
        if (cells[0] == QLatin1String("@unit")) {
            const auto unit = cells.size() == 2 ? parseNumber(cells[1], 48, 200) : std::nullopt;
            if (!unit || *unit % 4 != 0)
                return fail(QStringLiteral("@unit needs a multiple of 4 from 48 to 200"));
            table.m_unit = *unit;
            continue;
        }
        if (cells[0] == QLatin1String("@origin")) {
            const auto x = cells.size() == 3 ? parseNumber(cells[1], 0, kPictureWidth) : std::nullopt;
            const auto y = cells.size() == 3 ? parseNumber(cells[2], 0, kPictureHeight) : std::nullopt;
            if (!x || !y)
                return fail(QStringLiteral("@origin needs two pixel numbers"));
            table.m_origin = QPoint(*x, *y);
            continue;
        }
        if (!headerSeen) {
            if (cells != kColumns)
                return fail(
                    QStringLiteral("expected the header line: %1").arg(kColumns.join(QLatin1Char(' '))));
            headerSeen = true;
            continue;
        }
        if (cells.size() != kColumns.size())
            return fail(QStringLiteral("%1 columns instead of %2").arg(cells.size()).arg(kColumns.size()));

        Key key;
        key.name = cells[0];
        static const QRegularExpression namePattern(QStringLiteral("^[A-Za-z0-9]+$"));
        if (!namePattern.match(key.name).hasMatch())
            return fail(QStringLiteral("key name '%1' must be letters and digits").arg(key.name));
        if (!isNone(cells[1])) {
            const auto display = parseNumber(cells[1], 1, kDisplayCount);
            if (!display)
                return fail(QStringLiteral("display must be 1..%1 or -").arg(kDisplayCount));
            key.display = *display;
        }
        if (!isNone(cells[2])) {
            const auto matrix = parseNumber(cells[2], 1, kMatrixPositions);
            if (!matrix)
                return fail(QStringLiteral("matrix must be 1..%1 or -").arg(kMatrixPositions));
            key.matrix = *matrix;
        }
        const auto x = parseUnits(cells[3]);
        const auto y = parseUnits(cells[4]);
        const auto w = parseUnits(cells[5]);
        const auto h = parseUnits(cells[6]);
        if (!x || !y || !w || !h || *w < 1 || *h < 1)
            return fail(QStringLiteral("x, y, w, h must be key units in quarters, w and h at least 1"));
        key.x = *x;
        key.y = *y;
        key.width = *w;
        key.height = *h;
        if (!isNone(cells[7])) {
            if (!cells[7].startsWith(QLatin1String("KEY_")))
                return fail(QStringLiteral("evdev must be a KEY_ name or -"));
            key.evdevName = cells[7];
        }
        if (!isNone(cells[8])) {
            key.usage = parseUsage(cells[8]);
            if (!key.usage)
                return fail(QStringLiteral("usage must be page:usage or -"));
        }
        if (!isNone(cells[9]))
            key.hidName = cells[9];
        if (!isNone(cells[10])) {
            key.driverUsage = parseUsage(cells[10]);
            if (!key.driverUsage || key.driverUsage->page != 7 || key.driverUsage->usage > 0xFF)
                return fail(QStringLiteral("driver must be a keyboard-page usage 7:0x.. or -"));
        }
        if (cells[11] == QLatin1String("char"))
            key.kind = Kind::Char;
        else if (cells[11] == QLatin1String("control"))
            key.kind = Kind::Control;
        else if (cells[11] == QLatin1String("app"))
            key.kind = Kind::App;
        else
            return fail(QStringLiteral("kind must be char, control or app"));
        if (!isNone(cells[12]))
            key.labels = cells[12].split(QLatin1Char('|'));
        if (key.kind == Kind::Control && key.labels.isEmpty())
            return fail(QStringLiteral("a control key needs at least one label"));
        if (key.kind != Kind::Control && !key.labels.isEmpty())
            return fail(QStringLiteral("only control keys have labels"));
        if (key.kind == Kind::Char && key.evdevName.isEmpty())
            return fail(QStringLiteral("a character key needs an evdev code"));
        table.m_keys.push_back(std::move(key));
    }
    if (table.m_unit == 0) {
        *error = QStringLiteral("the table has no @unit line");
        return std::nullopt;
    }
    if (!headerSeen || table.m_keys.empty()) {
        *error = QStringLiteral("the table has no keys");
        return std::nullopt;
    }
    return table;
}

bool KeyTable::resolveEvdevCodes(const std::function<std::optional<int>(const QString &)> &lookup,
                                 QString *error)
{
    for (Key &key : m_keys) {
        if (key.evdevName.isEmpty())
            continue;
        const auto code = lookup(key.evdevName);
        if (!code) {
            *error = QStringLiteral("%1: unknown evdev name %2").arg(key.name, key.evdevName);
            return false;
        }
        key.evdevCode = *code;
    }
    return true;
}

bool KeyTable::validate(QString *error) const
{
    std::set<QString> names;
    std::set<QString> usageNames;
    std::set<int> displays;
    std::set<int> positions;
    std::set<std::pair<int, int>> usages;
    const QRect picture(0, 0, kPictureWidth, kPictureHeight);
    for (size_t i = 0; i < m_keys.size(); ++i) {
        const Key &key = m_keys[i];
        const auto fail = [&](const QString &what) {
            *error = QStringLiteral("%1: %2").arg(key.name, what);
            return false;
        };
        if (!names.insert(key.name).second)
            return fail(QStringLiteral("the name is used twice"));
        if (key.display && !displays.insert(key.display).second)
            return fail(QStringLiteral("display %1 is used twice").arg(key.display));
        if (key.matrix && !positions.insert(key.matrix).second)
            return fail(QStringLiteral("matrix position %1 is used twice").arg(key.matrix));
        if (key.usage && !usages.insert({key.usage->page, key.usage->usage}).second)
            return fail(
                QStringLiteral("usage %1:%2 is used twice").arg(key.usage->page).arg(key.usage->usage));
        if (key.driverUsage && !usages.insert({7, key.driverUsage->usage}).second)
            return fail(QStringLiteral("driver usage %1 is used twice").arg(key.driverUsage->usage));
        if (key.driverUsage && !key.matrix)
            return fail(QStringLiteral("a driver usage needs a matrix position"));
        if (!key.hidName.isEmpty() && !usageNames.insert(key.hidName).second)
            return fail(QStringLiteral("usage name %1 is used twice").arg(key.hidName));
        if (!picture.contains(capRect(key)))
            return fail(QStringLiteral("the key cap leaves the %1 x %2 picture")
                            .arg(kPictureWidth)
                            .arg(kPictureHeight));
        for (size_t j = 0; j < i; ++j) {
            if (capRect(m_keys[j]).intersects(capRect(key)))
                return fail(QStringLiteral("the key cap overlaps %1").arg(m_keys[j].name));
        }
    }
    return true;
}

QRect KeyTable::capRect(const Key &key) const
{
    const auto px = [this](double units) { return static_cast<int>(std::lround(units * m_unit)); };
    return QRect(m_origin.x() + px(key.x), m_origin.y() + px(key.y), px(key.width), px(key.height));
}

QRect KeyTable::cellRect(const Key &key) const
{
    const QRect cap = capRect(key);
    return QRect(cap.x() + (cap.width() - kCellSize) / 2, cap.y() + (cap.height() - kCellSize) / 2, kCellSize,
                 kCellSize);
}

QRect KeyTable::outlineRect(const Key &key) const
{
    // A standard cap is one unit; its display leaves the same margin on every side, and a larger
    // key's outline keeps that margin so outlines of neighbours line up.
    const int margin = (m_unit - kCellSize) / 2;
    return capRect(key).adjusted(margin, margin, -margin, -margin);
}

bool KeyTable::isStandardSize(const Key &key) const
{
    return key.width == 1 && key.height == 1;
}

QRect KeyTable::keyboardBounds() const
{
    QRect bounds;
    for (const Key &key : m_keys)
        bounds = bounds.united(capRect(key));
    return bounds;
}

QSize KeyTable::miniSize() const
{
    double right = 0, bottom = 0;
    for (const Key &key : m_keys) {
        right = std::max(right, key.x + key.width);
        bottom = std::max(bottom, key.y + key.height);
    }
    return QSize(static_cast<int>(std::lround(right * kMiniUnit)) - 1 + 2 * kMiniMargin,
                 static_cast<int>(std::lround(bottom * kMiniUnit)) - 1 + 2 * kMiniMargin);
}

QRect KeyTable::miniRect(const Key &key) const
{
    // Both edges are rounded from the key's own edges, so neighbours keep a one-pixel gap.
    const auto px = [](double units) { return static_cast<int>(std::lround(units * kMiniUnit)); };
    const int left = px(key.x), top = px(key.y);
    return QRect(kMiniMargin + left, kMiniMargin + top, px(key.x + key.width) - 1 - left,
                 px(key.y + key.height) - 1 - top);
}

} // namespace brevona
