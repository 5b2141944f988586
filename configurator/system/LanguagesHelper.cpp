#include "LanguagesHelper.h"

#include "InputLanguageSource.h"
#include "KeyboardData.h"
#include "KeyboardLayouts.h"
#include "LanguageTable.h"
#include "NotificationCenter.h"
#include "SystemLogging.h"
#include "SystemNotificationNames.h"

namespace brevona {

namespace {

const QString kUsLayout = QStringLiteral("us");

} // namespace

LanguagesHelper::LanguagesHelper(InputLanguageSource &source, KeyboardLayouts &layouts, QObject *parent)
    : QObject(parent)
    , m_source(source)
    , m_keyboardLayouts(layouts)
{
    connect(&m_source, &InputLanguageSource::languageChanged, this, &LanguagesHelper::updateLanguageInfo);
    m_source.startWatching();
    updateLanguageInfo();
}

LanguagesHelper::~LanguagesHelper() = default;

LanguagesHelper &LanguagesHelper::shared()
{
    // Lives as long as the process, as the session's language source.
    static auto *helper = new LanguagesHelper(InputLanguageSource::instance(), KeyboardLayouts::instance());
    return *helper;
}

void LanguagesHelper::updateLanguageInfo()
{
    std::optional<QStringList> session = m_source.layouts();
    if (!session || session->isEmpty()) {
        if (!std::exchange(m_unknownLogged, true))
            qCWarning(lcSystem) << "The session does not tell its keyboard layouts; the US layout is assumed";
        session = QStringList{kUsLayout};
    } else {
        m_unknownLogged = false;
    }
    QList<int> identifiers;
    QStringList names;
    for (const QString &layout : std::as_const(*session)) {
        const int identifier = LanguageTable::identifierForLayout(layout);
        // A layout enabled twice is one language.
        if (identifiers.contains(identifier))
            continue;
        identifiers.append(identifier);
        names.append(layout);
    }
    if (m_built && identifiers == m_languageIDs && names == m_layoutNames)
        return;
    const bool first = !std::exchange(m_built, true);
    m_languageIDs = identifiers;
    m_layoutNames = names;
    if (!first)
        NotificationCenter::defaultCenter().post(notifications::LanguageSetupChanged);
}

int LanguagesHelper::currentLanguageID() const
{
    if (const std::optional<QString> current = m_source.currentLayout())
        return LanguageTable::identifierForLayout(*current);
    return m_languageIDs.value(0, LanguageTable::identifierForLayout(kUsLayout));
}

QString LanguagesHelper::layoutForID(int identifier) const
{
    const qsizetype index = m_languageIDs.indexOf(identifier);
    if (index >= 0)
        return m_layoutNames.at(index);
    return LanguageTable::knownLayoutForIdentifier(identifier).value_or(QString());
}

QString LanguagesHelper::languageNameForID(int identifier) const
{
    // The two names the stored layers have always shown.
    if (identifier == 0)
        return QStringLiteral("English (US)");
    if (identifier == 2)
        return QStringLiteral("English (UK)");
    const QString layout = layoutForID(identifier);
    if (layout.isEmpty())
        return {};
    if (const std::optional<QString> name = m_keyboardLayouts.displayName(layout))
        return *name;
    if (!m_namelessLogged.contains(layout)) {
        m_namelessLogged.insert(layout);
        qCWarning(lcSystem, "Keyboard layout \"%s\" is unknown to the system; it is shown by its name",
                  qPrintable(layout));
    }
    return layout;
}

const QHash<QString, int> &LanguagesHelper::keyCodesTable()
{
    return KeyboardData::shared().virtualKeyCodes();
}

int LanguagesHelper::keyCodeForButton(const QString &keyName)
{
    return keyCodesTable().value(keyName, 0);
}

} // namespace brevona
