#pragma once

#include <optional>

#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "Result.h"

namespace brevona {

class KCPluginManager;

// set-key's plugin options: "--display SIGNATURE" and "--action SIGNATURE", each followed by the
// "--setting KEY=VALUE" options that belong to it, in the order given. Values read as booleans
// ("true", "false"), whole or real numbers where they are one, else as text.
class LayersKeyPlugins
{
public:
    struct Choice
    {
        QString signature;
        QVariantMap settings;
    };

    // From the subcommand's words; an error names the first bad one.
    static Result<LayersKeyPlugins> parse(const QStringList &arguments);
    // The signatures are plugins of their kind in the catalogue ("default.keystroke" stands for
    // no action plugin); empty when they are, else why not.
    QString problem(const KCPluginManager &catalogue) const;
    // The key's "DisplayPlugin" and "ActionPlugin" entries with the choices made.
    QVariantMap applied(QVariantMap info) const;
    bool empty() const { return !display && !action; }

    std::optional<Choice> display;
    std::optional<Choice> action;

private:
    static QVariant value(const QString &text);
};

} // namespace brevona
