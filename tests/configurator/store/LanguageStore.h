#pragma once

#include <memory>

#include <gtest/gtest.h>

#include "FakeKeyTranslator.h"
#include "KCLanguageLayer.h"
#include "KCLayerManager.h"
#include "LanguageTable.h"
#include "RecordingLink.h"
#include "TestHome.h"
#include "Wait.h"

namespace brevona::test {

// A layer manager started on a fresh store with the US language, whose "Q" types "q" and, with
// Shift, "Q"; its commands are recorded, the start's own left out.
class LanguageStore : public testing::Test
{
protected:
    void SetUp() override
    {
        translator->add("us", "Q", 0, "q");
        translator->add("us", "Q", KCLanguageLayer::modifierStateForKey("Shift"), "Q");
        manager = std::make_unique<KCLayerManager>(root, &link, nullptr, nullptr);
        ASSERT_EQ(manager->startup({{us, "us", "English (US)"}}, translator, us),
                  KCLayerManager::Outcome::Done);
        settle(std::chrono::milliseconds(0));
        link.sent.clear();
    }

    TestHome home;
    QString root = home.dataHome() + "/Lumivox/Layers";
    RecordingLink link{root};
    std::shared_ptr<FakeKeyTranslator> translator = std::make_shared<FakeKeyTranslator>();
    const int us = LanguageTable::identifierForLayout("us");
    std::unique_ptr<KCLayerManager> manager;
};

} // namespace brevona::test
