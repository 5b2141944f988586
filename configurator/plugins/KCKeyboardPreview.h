#pragma once

#include <QString>
#include <QStringList>

namespace brevona {

// What the plugin tables ask of the keyboard view beside them: where a double-clicked plugin goes
// (the selected keys, else the empty key nearest the keyboard's centre) and that the keys it went
// to join the selection.
class KCKeyboardPreview
{
public:
    virtual ~KCKeyboardPreview() = default;

    virtual QStringList selectedButtons() const = 0;
    // Empty when every key has a picture.
    virtual QString emptyButtonNearestToCenter() const = 0;
    virtual void selectButtonNamed(const QString &key, bool extend) = 0;
};

} // namespace brevona
