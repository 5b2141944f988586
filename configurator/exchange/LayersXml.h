#pragma once

#include <optional>

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "Result.h"

namespace brevona {

// "Layers.xml", the description inside a layer archive: one "layer" element per layer with its
// title, its picture file, its conditions ("mac:condition") and its keys ("button").
//
// Reading takes text from outside: a document type declaration (and with it every entity
// declaration) is refused, entity references are never expanded, and the number of layers, keys
// and conditions is bounded before anything is built from them.
class LayersXml
{
public:
    static inline const QString FileName = QStringLiteral("Layers.xml");
    static inline const QString PcNamespace = QStringLiteral("http://www.kettlewood.com/xmlns/pc");
    static inline const QString MacNamespace = QStringLiteral("http://www.kettlewood.com/xmlns/mac");

    // A "mac:condition" element's attributes.
    struct Condition
    {
        QString type;
        std::optional<QString> value;
        std::optional<QString> predicate;
        bool operator==(const Condition &) const = default;
    };

    // A "layer" element.
    struct Layer
    {
        QString name;
        QString image;
        QList<Condition> conditions;
        QStringList buttons;
        bool operator==(const Layer &) const = default;
    };

    struct Limits
    {
        qsizetype bytes = 4 * 1024 * 1024;
        int layers = 128;
        int buttonsPerLayer = 512;
        int conditionsPerLayer = 64;
    };

    // The document, UTF-8, with the root's two namespace declarations.
    static QByteArray write(const QList<Layer> &layers);
    // The "layer" elements in document order. A failure says why in one line.
    static Result<QList<Layer>> read(const QByteArray &document, const Limits &limits);
    static Result<QList<Layer>> read(const QByteArray &document) { return read(document, Limits()); }

    // A condition record as an element: "type" is the part of "Type" after its last dot,
    // "predicate" its "Predicate" setting when it has one, "value" the text of its other setting
    // (numbers in decimal, booleans "1"/"0"), absent when there is none.
    static Condition xmlElementForCondition(const QVariantMap &record);
    // An element as a condition record, for the four types that are understood. A failure with an
    // empty reason is a type that is not understood (dropped without a word); one with a reason is
    // an element that is invalid.
    static Result<QVariantMap> parseCondition(const Condition &element);
};

} // namespace brevona
