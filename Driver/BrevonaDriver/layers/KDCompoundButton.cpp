#include "KDCompoundButton.h"

#include <algorithm>

#include <QPainter>

#include "HybridCorners.h"
#include "KCLumivoxImage.h"

namespace brevona {

namespace {

bool neverStacks(int oledIndex)
{
    return oledIndex >= 89 && oledIndex <= 98;
}

bool isHybridSegment(int segment)
{
    return segment >= 0 && segment <= 3;
}

// Top-left corner of a zone in QImage's top-down coordinates.
QPoint zoneOrigin(int zone)
{
    const int half = KDButton::Size / 2;
    return QPoint((zone % 2) * half, (zone / 2) * half);
}

} // namespace

KDCompoundButton::KDCompoundButton(const QString &identifier)
    : KDButton(identifier)
{}

KDCompoundButton::~KDCompoundButton() = default;

std::shared_ptr<KDCompoundButton> KDCompoundButton::createWithId(const QString &identifier)
{
    return std::shared_ptr<KDCompoundButton>(new KDCompoundButton(identifier));
}

void KDCompoundButton::removeChild(std::vector<std::shared_ptr<KDButton>>::iterator it)
{
    if ((*it)->isOwnedBy(this))
        (*it)->setOwner(nullptr);
    m_childButtons.erase(it);
}

void KDCompoundButton::appendChild(const std::shared_ptr<KDButton> &button)
{
    m_childButtons.push_back(button);
    button->setOwner(std::static_pointer_cast<KDButton>(shared_from_this()));
}

void KDCompoundButton::addButton(const std::shared_ptr<KDButton> &button)
{
    if (!button)
        return;
    std::lock_guard guard(m_compositionLock);
    if (neverStacks(oledIndex()))
        removeAllButtons();
    if (button->isCompound()) {
        const auto children = static_cast<KDCompoundButton &>(*button).m_childButtons;
        for (const auto &child : children)
            addButton(child);
        return;
    }
    const int segment = button->getSegment();
    const int imageCorner = HybridCorners::imageCorner();
    if (segment == -2)
        removeButtonFromSegment(imageCorner);
    removeButtonFromSegment(segment);
    appendChild(button);
    if (segment == imageCorner)
        removeButtonFromSegment(-2);
}

void KDCompoundButton::removeButtonFromSegment(int segment)
{
    std::lock_guard guard(m_compositionLock);
    for (auto it = m_childButtons.begin(); it != m_childButtons.end();) {
        if ((*it)->getSegment() == segment) {
            removeChild(it);
            it = m_childButtons.begin();
        } else {
            ++it;
        }
    }
}

std::shared_ptr<KDButton> KDCompoundButton::buttonForSegment(int segment) const
{
    const auto it = std::find_if(m_childButtons.begin(), m_childButtons.end(),
                                 [segment](const auto &child) { return child->getSegment() == segment; });
    return it == m_childButtons.end() ? nullptr : *it;
}

int KDCompoundButton::hybridCount() const
{
    return static_cast<int>(
        std::count_if(m_childButtons.begin(), m_childButtons.end(),
                      [](const auto &child) { return isHybridSegment(child->getSegment()); }));
}

void KDCompoundButton::removeAllButtons()
{
    std::lock_guard guard(m_compositionLock);
    while (!m_childButtons.empty())
        removeChild(m_childButtons.begin());
}

void KDCompoundButton::collapse()
{
    std::lock_guard guard(m_compositionLock);
    if (m_childButtons.empty())
        return;
    if (m_childButtons.back()->getSegment() == -2)
        removeButtonFromSegment(HybridCorners::imageCorner());
    else if (hybridCount() >= 2)
        removeButtonFromSegment(-2);
}

QString KDCompoundButton::compoundContext() const
{
    const auto whole = nonHybridButton();
    return whole ? whole->context() : QString();
}

void KDCompoundButton::activate()
{
    std::vector<std::shared_ptr<KDButton>> children;
    {
        std::lock_guard guard(m_compositionLock);
        m_lockedUpdate = true;
        children = m_childButtons;
    }
    for (const auto &child : children)
        child->activate();
    {
        std::lock_guard guard(m_compositionLock);
        m_lockedUpdate = false;
        m_active = true;
    }
    repaint();
}

void KDCompoundButton::deactivate()
{
    std::vector<std::shared_ptr<KDButton>> children;
    {
        std::lock_guard guard(m_compositionLock);
        m_active = false;
        children = m_childButtons;
    }
    for (const auto &child : children)
        child->deactivate();
}

void KDCompoundButton::repaint()
{
    std::shared_ptr<KCLumivoxImage> picture;
    {
        std::lock_guard guard(m_compositionLock);
        if (!m_active)
            return;
        picture = image();
    }
    sendToDevice(picture);
}

void KDCompoundButton::redrawQuarters()
{
    std::lock_guard guard(m_compositionLock);
    if (!m_active || !m_ownPicture || image() != m_ownPicture)
        return;
    for (const auto &child : m_childButtons) {
        if (!isHybridSegment(child->getSegment()))
            continue;
        child->dropScaledImage();
        drawQuarter(*child);
    }
}

void KDCompoundButton::drawQuarter(KDButton &child)
{
    const QImage quarter = child.getScaledImage();
    auto focus = m_ownPicture->lockFocus();
    focus.painter().setCompositionMode(QPainter::CompositionMode_Source);
    focus.painter().drawImage(zoneOrigin(child.getSegment()), quarter);
}

void KDCompoundButton::showBlack()
{
    sendToDevice(KCLumivoxImage::blackImage());
}

void KDCompoundButton::onChildButtonUpdated(KDButton &child)
{
    std::shared_ptr<KCLumivoxImage> picture;
    {
        std::lock_guard guard(m_compositionLock);
        if (!child.isOwnedBy(this))
            return;
        const int segment = child.getSegment();
        if (hybridCount() < 2 || segment == -2 || child.isCompound()) {
            setImage(child.image());
        } else {
            if (!m_ownPicture)
                m_ownPicture = KCLumivoxImage::create();
            if (image() != m_ownPicture)
                setImage(m_ownPicture);
            drawQuarter(child);
        }
        if (m_lockedUpdate || !m_active)
            return;
        picture = image();
    }
    sendToDevice(picture);
}

} // namespace brevona
