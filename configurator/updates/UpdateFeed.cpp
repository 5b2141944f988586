#include "UpdateFeed.h"

#include <QVariantMap>

#include "PropertyList.h"

namespace brevona {

namespace {

const QString ConfiguratorKey = QStringLiteral("Configurator");
const QString VersionKey = QStringLiteral("Version");
const QString FilenameKey = QStringLiteral("Filename");

bool looksLikeHtml(const QByteArray &bytes)
{
    const QByteArray start = bytes.left(512).trimmed().toLower();
    return start.startsWith("<!doctype html") || start.startsWith("<html") || start.contains("<body");
}

} // namespace

bool UpdateFeed::isPlainFilename(const QString &name)
{
    if (name.isEmpty() || name.size() > kMaxFilenameLength)
        return false;
    if (name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char(' ')) ||
        name.endsWith(QLatin1Char(' ')))
        return false;
    for (const QChar c : name) {
        const char16_t unit = c.unicode();
        const bool allowed = (unit >= 'a' && unit <= 'z') || (unit >= 'A' && unit <= 'Z') ||
                             (unit >= '0' && unit <= '9') || unit == ' ' || unit == '.' || unit == '_' ||
                             unit == '-' || unit == '+' || unit == '~' || unit == '(' || unit == ')';
        if (!allowed)
            return false;
    }
    return !name.contains(QLatin1String(".."));
}

Result<UpdateFeed> UpdateFeed::parse(const QByteArray &bytes)
{
    if (looksLikeHtml(bytes))
        return Result<UpdateFeed>::failure(
            QStringLiteral("the server sent an HTML page, not a version list"));
    QString problem;
    const std::optional<QVariant> list = PropertyList::fromData(bytes, &problem);
    if (!list)
        return Result<UpdateFeed>::failure(QStringLiteral("the version list is not a property list"));
    if (list->typeId() != QMetaType::QVariantMap)
        return Result<UpdateFeed>::failure(QStringLiteral("the version list is not a dictionary"));
    const QVariant configurator = list->toMap().value(ConfiguratorKey);
    UpdateFeed feed;
    if (configurator.typeId() != QMetaType::QVariantMap)
        return feed;
    const QVariantMap entry = configurator.toMap();
    if (entry.value(VersionKey).typeId() == QMetaType::QString)
        feed.version = entry.value(VersionKey).toString();
    const QVariant filename = entry.value(FilenameKey);
    if (filename.isValid()) {
        if (filename.typeId() != QMetaType::QString || !isPlainFilename(filename.toString()))
            return Result<UpdateFeed>::failure(
                QStringLiteral("the version list names a package that is not a plain file name"));
        feed.filename = filename.toString();
    }
    return feed;
}

} // namespace brevona
