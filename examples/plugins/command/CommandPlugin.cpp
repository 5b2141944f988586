// An action plugin that starts the program named by its "command" setting, with the "arguments"
// setting (a list of strings) as its arguments, each time the key is pressed. The program runs
// detached and is never given to a shell, so no setting is ever parsed as shell text.
#include <QProcess>
#include <QStringList>

#include <KCPluginModule.h>
#include <KCPluginProtocol.h>

namespace {

// Arguments edited as text come one a line.
QStringList argumentList(const QVariant &value)
{
    if (value.typeId() == QMetaType::QString)
        return value.toString().split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    return value.toStringList();
}

class CommandPlugin : public KCPluginProtocol
{
public:
    explicit CommandPlugin(KCPluginButtonProtocol *) {}

    unsigned operations() const override
    {
        return SetValueForKey | SetValuesForKeys | KeyActions | ValueForKey | ValidateValue;
    }

    void setValue(const QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("command"))
            m_command = value.toString();
        else if (key == QLatin1String("arguments"))
            m_arguments = argumentList(value);
    }

    QVariant valueForKey(const QString &key) const override
    {
        if (key == QLatin1String("command"))
            return m_command;
        if (key == QLatin1String("arguments"))
            return m_arguments;
        return {};
    }

    // The program's name loses the blanks around it; arguments are always stored as a list.
    bool validateValue(QVariant &value, const QString &key) override
    {
        if (key == QLatin1String("command"))
            value = value.toString().trimmed();
        else if (key == QLatin1String("arguments"))
            value = argumentList(value);
        return true;
    }

    void onKeyDown() override
    {
        if (!m_command.isEmpty())
            QProcess::startDetached(m_command, m_arguments);
    }

private:
    QString m_command;
    QStringList m_arguments;
};

KCPluginProtocol *createCommand(KCPluginButtonProtocol *button)
{
    return new CommandPlugin(button);
}

} // namespace

BREVONA_PLUGIN_MODULE("BrevonaActionGeneralCommand", nullptr,
                      {{"BrevonaActionGeneralCommand", &createCommand}})
