#pragma once

#include <QString>

class KCPluginImage;

// What a plugin may call on the key that hosts it. The host outlives the plugin instance.
class KCPluginButtonProtocol
{
public:
    // The key picture to draw into (created black on first use).
    virtual KCPluginImage *getImage() = 0;
    // Tells the host that the picture changed; callable from any thread.
    virtual void update() = 0;
    // The key's name, e.g. "G" or "App3".
    virtual QString buttonIdentifier() const = 0;

protected:
    ~KCPluginButtonProtocol() = default;
};
