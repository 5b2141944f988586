#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "KDButton.h"

namespace brevona {

// The stack of one key in a composition: the buttons of the visible layers that survive the
// stacking rules, bottom first, and the one picture they make together.
class KDCompoundButton : public KDButton
{
public:
    static std::shared_ptr<KDCompoundButton> createWithId(const QString &identifier);
    ~KDCompoundButton() override;

    void addButton(const std::shared_ptr<KDButton> &button);
    void removeButtonFromSegment(int segment);
    std::shared_ptr<KDButton> buttonForSegment(int segment) const;
    std::shared_ptr<KDButton> nonHybridButton() const { return buttonForSegment(-2); }
    int hybridCount() const;
    int count() const { return static_cast<int>(m_childButtons.size()); }
    const std::vector<std::shared_ptr<KDButton>> &childButtons() const { return m_childButtons; }
    void removeAllButtons();
    void collapse();

    void activate() override;
    void deactivate() override;
    void onChildButtonUpdated(KDButton &child) override;
    bool isCompound() const override { return true; }
    // The context of its whole-key child, none without one.
    QString compoundContext() const;

    // Re-sends the key's picture when active.
    void repaint();
    // Draws every hybrid child's quarter afresh (a plugin may have drawn without update()); the
    // picture is sent by the next repaint.
    void redrawQuarters();
    // Sends a black picture: the key left the composition.
    void showBlack();

private:
    explicit KDCompoundButton(const QString &identifier);
    void removeChild(std::vector<std::shared_ptr<KDButton>>::iterator it);
    void appendChild(const std::shared_ptr<KDButton> &button);
    // Draws the child's reduction into its zone of the compound's own picture.
    void drawQuarter(KDButton &child);

    std::vector<std::shared_ptr<KDButton>> m_childButtons;
    std::shared_ptr<KCLumivoxImage> m_ownPicture;
    std::recursive_mutex m_compositionLock;
    bool m_lockedUpdate = false;
    bool m_active = false;
};

} // namespace brevona
