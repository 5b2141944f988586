#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "ApplicationMonitor.h"
#include "FakeApplicationMonitor.h"
#include "FakeLanguageSource.h"
#include "FakeX11Session.h"
#include "IdleTimeSource.h"
#include "InputLanguageSource.h"
#include "KDKeyboardStateSource.h"

namespace brevona::test {

// The keyboard's modifier keys and the session's Caps Lock, as a test sets them.
class FakeKeyboardState : public KDKeyboardStateSource
{
public:
    bool altState() override { return alt; }
    bool shiftState() override { return shift; }
    bool ctrlState() override { return ctrl; }
    bool cmdState() override { return cmd; }
    bool isCapsLocked() override { return capsLocked; }

    bool alt = false;
    bool shift = false;
    bool ctrl = false;
    bool cmd = false;
    bool capsLocked = false;
};

// Installs fresh fakes of every session service a trigger reads, for one test. Between tests the
// services stay faked (by inert instances), so a trigger's timer never reaches the real session.
class ConditionFixture : public ::testing::Test
{
protected:
    void SetUp() override { install(applications.get(), languages.get(), &session, &keyboard); }

    void TearDown() override
    {
        static auto *inertApplications = new FakeApplicationMonitor();
        static auto *inertLanguages = new FakeLanguageSource();
        static auto *inertSession = new FakeX11Session();
        static auto *inertKeyboard = new FakeKeyboardState();
        install(inertApplications, inertLanguages, inertSession, inertKeyboard);
    }

    static void install(ApplicationMonitor *a, InputLanguageSource *l, IdleTimeSource *i,
                        KDKeyboardStateSource *k)
    {
        ApplicationMonitor::setInstance(a);
        InputLanguageSource::setInstance(l);
        IdleTimeSource::setInstance(i);
        KDKeyboardStateSource::setInstance(k);
    }

    void setIdleSeconds(double seconds) { session.setIdleNanoseconds(static_cast<quint64>(seconds * 1e9)); }

    std::unique_ptr<FakeApplicationMonitor> applications = std::make_unique<FakeApplicationMonitor>();
    std::unique_ptr<FakeLanguageSource> languages = std::make_unique<FakeLanguageSource>();
    FakeX11Session session;
    FakeKeyboardState keyboard;
};

} // namespace brevona::test
