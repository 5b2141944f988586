#include "LayersXml.h"

#include <QXmlStreamReader>
#include <QXmlStreamWriter>

#include "ConditionKeys.h"

namespace brevona {

namespace ck = conditionkeys;

namespace {

const QString LayersElement = QStringLiteral("layers");
const QString LayerElement = QStringLiteral("layer");
const QString ButtonElement = QStringLiteral("button");
const QString ConditionElement = QStringLiteral("condition");
const QString NameAttribute = QStringLiteral("name");
const QString ImageAttribute = QStringLiteral("image");
const QString TypeAttribute = QStringLiteral("type");
const QString ValueAttribute = QStringLiteral("value");
const QString PredicateAttribute = QStringLiteral("predicate");
const QString TypePrefix = QStringLiteral("brevona.condition.");

QString settingText(const QVariant &value)
{
    if (value.typeId() == QMetaType::Bool)
        return value.toBool() ? QStringLiteral("1") : QStringLiteral("0");
    return value.toString();
}

std::optional<QString> attribute(const QXmlStreamAttributes &attributes, const QString &name)
{
    if (!attributes.hasAttribute(name))
        return std::nullopt;
    return attributes.value(name).toString();
}

// "mac:condition": the namespace a writer bound to "mac" ends in "/xmlns/mac"; a document that
// binds it elsewhere still names it so.
bool isCondition(const QXmlStreamReader &reader)
{
    return reader.name() == ConditionElement &&
           (reader.namespaceUri().endsWith(QLatin1String("/xmlns/mac")) ||
            reader.qualifiedName() == QLatin1String("mac:condition"));
}

} // namespace

QByteArray LayersXml::write(const QList<Layer> &layers)
{
    QByteArray document;
    QXmlStreamWriter writer(&document);
    writer.setAutoFormatting(true);
    writer.writeStartDocument();
    writer.writeNamespace(PcNamespace, QStringLiteral("pc"));
    writer.writeNamespace(MacNamespace, QStringLiteral("mac"));
    writer.writeStartElement(LayersElement);
    for (const Layer &layer : layers) {
        writer.writeStartElement(LayerElement);
        writer.writeAttribute(NameAttribute, layer.name);
        writer.writeAttribute(ImageAttribute, layer.image);
        for (const Condition &condition : layer.conditions) {
            writer.writeEmptyElement(MacNamespace, ConditionElement);
            writer.writeAttribute(TypeAttribute, condition.type);
            if (condition.value)
                writer.writeAttribute(ValueAttribute, *condition.value);
            if (condition.predicate)
                writer.writeAttribute(PredicateAttribute, *condition.predicate);
        }
        for (const QString &button : layer.buttons) {
            writer.writeEmptyElement(ButtonElement);
            writer.writeAttribute(NameAttribute, button);
        }
        writer.writeEndElement();
    }
    writer.writeEndElement();
    writer.writeEndDocument();
    return document;
}

Result<QList<LayersXml::Layer>> LayersXml::read(const QByteArray &document, const Limits &limits)
{
    using Failure = Result<QList<Layer>>;
    if (document.size() > limits.bytes)
        return Failure::failure(QStringLiteral("%1 is larger than %2 bytes").arg(FileName).arg(limits.bytes));
    QXmlStreamReader reader(document);
    QList<Layer> layers;
    std::optional<Layer> current;
    int depth = 0;
    bool sawRoot = false;
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            // Entities are declared only here: without a document type nothing can expand.
            return Failure::failure(
                QStringLiteral("%1 declares a document type, which is refused").arg(FileName));
        case QXmlStreamReader::EntityReference:
            return Failure::failure(QStringLiteral("%1 refers to an entity, which is refused").arg(FileName));
        case QXmlStreamReader::StartElement:
            ++depth;
            if (depth == 1) {
                if (reader.name() != LayersElement)
                    return Failure::failure(QStringLiteral("%1 has the root element %2, not layers")
                                                .arg(FileName, reader.name().toString()));
                sawRoot = true;
            } else if (depth == 2 && reader.name() == LayerElement) {
                if (layers.size() >= limits.layers)
                    return Failure::failure(
                        QStringLiteral("the archive has more than %1 layers").arg(limits.layers));
                const QXmlStreamAttributes attributes = reader.attributes();
                current = Layer{attribute(attributes, NameAttribute).value_or(QString()),
                                attribute(attributes, ImageAttribute).value_or(QString()),
                                {},
                                {}};
            } else if (depth == 3 && current && reader.name() == ButtonElement) {
                if (current->buttons.size() >= limits.buttonsPerLayer)
                    return Failure::failure(QStringLiteral("a layer of the archive has more than %1 keys")
                                                .arg(limits.buttonsPerLayer));
                current->buttons.append(attribute(reader.attributes(), NameAttribute).value_or(QString()));
            } else if (depth == 3 && current && isCondition(reader)) {
                if (current->conditions.size() >= limits.conditionsPerLayer)
                    return Failure::failure(
                        QStringLiteral("a layer of the archive has more than %1 conditions")
                            .arg(limits.conditionsPerLayer));
                const QXmlStreamAttributes attributes = reader.attributes();
                current->conditions.append({attribute(attributes, TypeAttribute).value_or(QString()),
                                            attribute(attributes, ValueAttribute),
                                            attribute(attributes, PredicateAttribute)});
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == 2 && current) {
                layers.append(std::move(*current));
                current.reset();
            }
            --depth;
            break;
        default:
            break;
        }
    }
    if (reader.hasError())
        return Failure::failure(QStringLiteral("Error: %1 (line %2 of %3)")
                                    .arg(reader.errorString())
                                    .arg(reader.lineNumber())
                                    .arg(FileName));
    if (!sawRoot)
        return Failure::failure(QStringLiteral("%1 has no root element").arg(FileName));
    return layers;
}

LayersXml::Condition LayersXml::xmlElementForCondition(const QVariantMap &record)
{
    const QString type = record.value(ck::Type).toString();
    const QVariantMap settings = record.value(ck::Settings).toMap();
    Condition element;
    element.type = type.section(QLatin1Char('.'), -1);
    if (settings.contains(ck::Predicate))
        element.predicate = settingText(settings.value(ck::Predicate));
    // The four known types name their setting; another type gives its first other setting.
    QString key;
    if (type == ck::ApplicationType)
        key = ck::Application;
    else if (type == ck::ModifierType)
        key = ck::Keys;
    else if (type == ck::LanguageType)
        key = ck::LanguageID;
    else if (type == ck::CapsLockType)
        key = ck::State;
    else {
        for (auto it = settings.cbegin(); it != settings.cend() && key.isEmpty(); ++it) {
            if (it.key() != ck::Predicate)
                key = it.key();
        }
    }
    if (!key.isEmpty() && settings.contains(key))
        element.value = settingText(settings.value(key));
    return element;
}

Result<QVariantMap> LayersXml::parseCondition(const Condition &element)
{
    using Failure = Result<QVariantMap>;
    QVariantMap settings;
    if (element.type == QLatin1String("application")) {
        if (!element.value)
            return Failure::failure(QStringLiteral("an application condition without a value"));
        settings = {{ck::Application, *element.value},
                    {ck::Predicate, element.predicate.value_or(ck::IsActive)}};
    } else if (element.type == QLatin1String("modifier")) {
        if (!element.value)
            return Failure::failure(QStringLiteral("a modifier condition without a value"));
        settings = {{ck::Keys, *element.value}};
    } else if (element.type == QLatin1String("language")) {
        const QString value = element.value.value_or(QString());
        QVariant language = value;
        if (!value.contains(QLatin1Char('.'))) {
            bool number = false;
            const int identifier = value.trimmed().toInt(&number);
            if (!number)
                return Failure::failure(
                    QStringLiteral("a language condition whose value \"%1\" is not a number").arg(value));
            language = identifier;
        }
        settings = {{ck::LanguageID, language}, {ck::Predicate, element.predicate.value_or(ck::IsActive)}};
    } else if (element.type == QLatin1String("capslock")) {
        const QString value = element.value.value_or(QString()).toLower();
        settings = {{ck::State, value == QLatin1String("true") || value == QLatin1String("1") ||
                                    value == QLatin1String("yes")}};
    } else {
        return Failure::failure(QString());
    }
    return QVariantMap{{ck::Type, TypePrefix + element.type}, {ck::Settings, settings}};
}

} // namespace brevona
