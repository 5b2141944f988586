#pragma once

#include <QString>

class KCPluginImage;

// What a plugin may call on the key that hosts it. The host outlives the plugin instance.
class KCPluginButtonProtocol
{
public:
    // The key picture to draw into (created black on first use). During creation it already holds
    // the key's cut-out of the layer picture.
    virtual KCPluginImage *getImage() = 0;
    // Tells the host that the picture changed; callable from any thread.
    virtual void update() = 0;
    // The key's name, e.g. "G" or "App3".
    virtual QString buttonIdentifier() const = 0;
    // Interface 2: asks the host to send the picture of every key it shows to the keyboard again,
    // without recomposing ("TOTAL_REPAINT_NEEDED"). Callable from any thread; requests made before
    // the repaint ran are served by it. New operations go after this one, so that bundles built for
    // an older interface keep calling the right ones.
    virtual void requestTotalRepaint() = 0;

protected:
    ~KCPluginButtonProtocol() = default;
};
