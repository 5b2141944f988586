#pragma once

#include <QHash>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>

namespace brevona {

class InputLanguageSource;
class KeyboardLayouts;

// The input languages the user has enabled: the session's keyboard layouts, each with its number
// from the shared language table and its name for people. "KCLanguageSetupChanged" is posted when
// the set of enabled languages really changes (switching between them is no change); the first
// reading posts nothing. Without a session that tells its layouts the US layout alone is assumed.
// Main thread.
class LanguagesHelper : public QObject
{
    Q_OBJECT
public:
    LanguagesHelper(InputLanguageSource &source, KeyboardLayouts &layouts, QObject *parent = nullptr);
    ~LanguagesHelper() override;

    // The process-wide helper on the session's services, created on first use.
    static LanguagesHelper &shared();

    // The enabled languages in the session's order, each once.
    QList<int> availableLanguageIDs() const { return m_languageIDs; }
    // Their layout names, in the same order.
    QStringList availableLayouts() const { return m_layoutNames; }
    // The language in use; the first enabled one when the session cannot tell.
    int currentLanguageID() const;
    // The layout of a language: an enabled one, or a well-known one; empty for any other number.
    QString layoutForID(int identifier) const;
    // "English (US)" for 0, "English (UK)" for 2, else the layout's name for people; the layout
    // name itself when the system has no name for it; empty for an unknown number.
    QString languageNameForID(int identifier) const;

    // Key name -> X11 key code of the keys whose character depends on the language.
    static const QHash<QString, int> &keyCodesTable();
    // 0 for a key that is not in the table.
    static int keyCodeForButton(const QString &keyName);

    // Reads the session's layouts again; posts the change notification when the set changed.
    void updateLanguageInfo();

private:
    InputLanguageSource &m_source;
    KeyboardLayouts &m_keyboardLayouts;
    QList<int> m_languageIDs;
    QStringList m_layoutNames;
    bool m_built = false;
    bool m_unknownLogged = false;
    mutable QSet<QString> m_namelessLogged;
};

} // namespace brevona
