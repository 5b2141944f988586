// The keyboard view as a widget, offscreen: what it draws (pixel probes of a rendered view, also
// at twice the density), the mouse and key gestures, drops, the delegate calls and the
// accessibility tree.
#include <memory>
#include <optional>

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QTest>
#include <QUrl>

#include <gtest/gtest.h>

#include "KCKeyboardView.h"
#include "KCKeyboardViewDelegate.h"
#include "KeyboardMimeTypes.h"
#include "LogCapture.h"
#include "PreferenceKeys.h"
#include "PreferencesStore.h"
#include "TestHome.h"
#include "TestPrinters.h"
#include "Wait.h"

namespace brevona::test {
namespace {

// Records what the view asks of the editor.
class RecordingDelegate : public KCKeyboardViewDelegate
{
public:
    struct Paste
    {
        std::optional<QString> key;
        QStringList formats;
        std::optional<Qt::DropAction> operation;
    };

    bool putButtonsInClipboard(const QStringList &keys) override
    {
        copied.append(keys);
        return clipboardWorks;
    }
    void deleteButtons(const QStringList &keys) override { deleted.append(keys); }
    std::unique_ptr<QMimeData> dragDataForButton(const QString &) override { return nullptr; }
    void pasteDataOnButton(const std::optional<QString> &key, const QMimeData &data,
                           std::optional<Qt::DropAction> operation) override
    {
        pastes.push_back({key, data.formats(), operation});
    }

    bool clipboardWorks = true;
    QList<QStringList> copied;
    QList<QStringList> deleted;
    std::vector<Paste> pastes;
};

QImage solid(QColor colour)
{
    QImage picture(48, 48, QImage::Format_ARGB32_Premultiplied);
    picture.fill(colour);
    return picture;
}

class KeyboardViewTest : public testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home.isValid());
        preferences = std::make_unique<PreferencesStore>(home.configHome() + QStringLiteral("/prefs.plist"));
        view = std::make_unique<KCKeyboardView>(KeyboardGeometry::loadInstalled(QSize(1312, 376)),
                                                preferences.get());
        view->setDelegate(&delegate);
        // One view point per image pixel: probes read image coordinates.
        view->resize(view->keyboardImageSize());
        view->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(view.get()));
    }

    QRect inside(const QString &key) const
    {
        return view->geometry().key(view->geometry().indexOf(key)).inside;
    }
    QRect outside(const QString &key) const
    {
        return view->geometry().key(view->geometry().indexOf(key)).outside;
    }
    QImage rendered() const { return view->grab().toImage(); }
    void click(const QString &key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::mouseClick(view.get(), Qt::LeftButton, modifiers, inside(key).center());
    }
    void press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(view.get(), Qt::Key(key), modifiers);
    }
    // A drag of `data` entering the view at `enterAt` (none: at `point`) and moving to `point`,
    // then dropped there. As in Qt, a view that refuses the enter gets nothing more.
    bool drop(QMimeData &data, QPoint point, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
              std::optional<QPoint> enterAt = std::nullopt)
    {
        const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(enterAt.value_or(point), actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(view.get(), &enter);
        if (!enter.isAccepted())
            return false;
        QDragMoveEvent move(point, actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(view.get(), &move);
        QDropEvent dropped(QPointF(point), actions, &data, Qt::LeftButton, modifiers);
        QApplication::sendEvent(view.get(), &dropped);
        return dropped.isAccepted();
    }

    TestHome home;
    std::unique_ptr<PreferencesStore> preferences;
    std::unique_ptr<KCKeyboardView> view;
    RecordingDelegate delegate;
};

TEST_F(KeyboardViewTest, DrawsPicturesFramedAndPlaceholdersElsewhere)
{
    view->setImage(solid(Qt::red), QStringLiteral("Semicolon"));
    view->setImage(solid(Qt::green), QStringLiteral("Space"));
    const QImage image = rendered();
    EXPECT_EQ(image.pixelColor(inside("Semicolon").center()), QColor(Qt::red));
    EXPECT_EQ(image.pixelColor(inside("Space").center()), QColor(Qt::green));
    // A key larger than its display is black round its picture.
    EXPECT_EQ(image.pixelColor(outside("Space").left() + 3, outside("Space").center().y()),
              QColor(Qt::black));
    // The frame: white 0.4 on the 2 pixels round the key.
    const QRect framed = outside("Semicolon");
    EXPECT_EQ(image.pixelColor(framed.left() - 1, framed.center().y()), QColor(102, 102, 102));
    EXPECT_EQ(image.pixelColor(framed.center().x(), framed.bottom() + 2), QColor(102, 102, 102));
    // A key without a picture shows its placeholder: a dark grey rounded square.
    const QPoint probe(-6, 6);
    const QColor placeholder = image.pixelColor(inside("Slash").center() + probe);
    EXPECT_GT(placeholder.red(), 15);
    EXPECT_LT(placeholder.red(), 60);
    EXPECT_EQ(placeholder.red(), placeholder.blue());
    // Taking the picture away brings the placeholder back, frame gone.
    view->removeButtonImages(QStringList{QStringLiteral("Semicolon")});
    const QImage after = rendered();
    EXPECT_EQ(after.pixelColor(inside("Semicolon").center() + probe), placeholder);
    EXPECT_NE(after.pixelColor(framed.left() - 1, framed.center().y()), QColor(102, 102, 102));
}

TEST_F(KeyboardViewTest, BackgroundFollowsTheColourTypePreference)
{
    // A point of the case, away from every key.
    const QPoint caseEdge(outside("Esc").left() - 20, outside("Esc").top() + 4);
    const int dark = qGray(rendered().pixel(caseEdge));
    ASSERT_TRUE(preferences->setValue(PreferenceKeys::KeyboardBackgroundColorType, qint64(1)));
    EXPECT_EQ(view->colorType(), 1);
    const int light = qGray(rendered().pixel(caseEdge));
    EXPECT_GT(light, dark + 80);
}

TEST_F(KeyboardViewTest, SelectedKeyIsOutlinedInTheSelectionColour)
{
    const PreferenceKeys::Colour blue{2.0 / 3.0, 1.0, 1.0, 1.0};
    ASSERT_TRUE(preferences->setValue(PreferenceKeys::KeyboardSelectionColor, blue.archived()));
    view->selectButtonNamed(QStringLiteral("H"), false);
    view->selectButtonNamed(QStringLiteral("J"), true);
    const QColor ring = rendered().pixelColor(outside("H").left() - 3, outside("H").center().y());
    EXPECT_EQ(ring, QColor(0, 0, 255));
}

TEST_F(KeyboardViewTest, CrispAtTwiceTheDensity)
{
    // A checkerboard of single pixels stays one: each becomes a 2 x 2 block of its own colour.
    QImage checker(48, 48, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
            checker.setPixelColor(x, y, (x + y) % 2 ? Qt::white : Qt::black);
    view->setImage(checker, QStringLiteral("K"));
    QImage image(view->size() * 2, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(2);
    image.fill(Qt::transparent);
    view->render(&image);
    const QPoint origin = inside("K").topLeft() * 2;
    for (const QPoint cell : {QPoint(0, 0), QPoint(1, 0), QPoint(7, 3), QPoint(47, 47)}) {
        const QColor expected = (cell.x() + cell.y()) % 2 ? Qt::white : Qt::black;
        for (const QPoint sub : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)})
            EXPECT_EQ(image.pixelColor(origin + cell * 2 + sub), expected) << cell.x() << "," << cell.y();
    }
}

TEST_F(KeyboardViewTest, ScalesWithTheWidgetKeepingItsProportions)
{
    view->resize(656, 400);
    EXPECT_DOUBLE_EQ(view->scaleFactor(), 2.0);
    // Centred vertically: 188 points of keyboard in 400.
    EXPECT_EQ(view->buttonAt(QPointF(inside("H").center()) / 2 + QPointF(0, 106)), QStringLiteral("H"));
}

TEST_F(KeyboardViewTest, ZeroSizeViewHitsNothingAndKeepsItsPictures)
{
    KCKeyboardView empty(view->geometry(), preferences.get());
    empty.resize(0, 0);
    EXPECT_EQ(empty.scaleFactor(), 0);
    EXPECT_TRUE(empty.buttonAt(QPointF(0, 0)).isEmpty());
    EXPECT_TRUE(empty.viewRectOfButton(QStringLiteral("H")).isEmpty());
    QMouseEvent press(QEvent::MouseButtonPress, QPointF(0, 0), QPointF(0, 0), Qt::LeftButton, Qt::LeftButton,
                      {});
    QApplication::sendEvent(&empty, &press);
    QMouseEvent release(QEvent::MouseButtonRelease, QPointF(0, 0), QPointF(0, 0), Qt::LeftButton, {}, {});
    QApplication::sendEvent(&empty, &release);
    EXPECT_TRUE(empty.selectedButtons().isEmpty());
    empty.setImage(solid(Qt::red), QStringLiteral("A"));
    empty.setDynamicImage(solid(Qt::blue), QStringLiteral("A"));
    empty.checkDynamicDrawQueue();
    QImage picture(1, 1, QImage::Format_ARGB32_Premultiplied);
    empty.render(&picture);
    EXPECT_EQ(empty.imageForButton(QStringLiteral("A")).pixelColor(0, 0), QColor(Qt::blue));
}

TEST_F(KeyboardViewTest, MouseSelectsTogglesAndDeselectsOnEmptySpace)
{
    click(QStringLiteral("A"));
    click(QStringLiteral("S"), Qt::ShiftModifier);
    click(QStringLiteral("D"), Qt::ControlModifier);
    EXPECT_EQ(view->selectedButtons(), (QStringList{"A", "S", "D"}));
    click(QStringLiteral("S"), Qt::ShiftModifier);
    EXPECT_EQ(view->selectedButtons(), (QStringList{"A", "D"}));
    // A press on the case is no rubber band; it clears the selection when it moved less than 7.
    const QPoint empty(outside("Esc").left() - 10, outside("Esc").top());
    QTest::mousePress(view.get(), Qt::LeftButton, {}, empty);
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, empty + QPoint(4, 3));
    EXPECT_EQ(view->selectedButtons(), (QStringList{"A", "D"}));
    QTest::mousePress(view.get(), Qt::LeftButton, {}, empty);
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, empty + QPoint(3, 3));
    EXPECT_TRUE(view->selectedButtons().isEmpty());
}

TEST_F(KeyboardViewTest, RubberBandNeedsTenPoints)
{
    const QPoint start = outside("Q").topLeft() - QPoint(1, 1);
    QTest::mousePress(view.get(), Qt::LeftButton, {}, start);
    QTest::mouseMove(view.get(), start + QPoint(4, 4));
    EXPECT_TRUE(view->selectedButtons().isEmpty());
    QTest::mouseMove(view.get(), outside("E").center());
    EXPECT_EQ(view->selectedButtons().size(), 3);
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, outside("E").center());
    EXPECT_EQ(view->selectedButtons().size(), 3);
}

TEST_F(KeyboardViewTest, SelectionChangeIsAnnouncedOncePerPass)
{
    int announced = 0;
    QObject::connect(view.get(), &KCKeyboardView::selectionChanged, [&] { ++announced; });
    view->selectButtonNamed(QStringLiteral("A"), false);
    view->selectButtonNamed(QStringLiteral("S"), true);
    view->deselectAll();
    EXPECT_EQ(announced, 0);
    ASSERT_TRUE(waitUntil([&] { return announced > 0; }));
    settle(std::chrono::milliseconds(0));
    EXPECT_EQ(announced, 1);
}

TEST_F(KeyboardViewTest, ArrowKeysAndEscape)
{
    press(Qt::Key_Right);
    EXPECT_EQ(view->selectedButtons(), QStringList{"J"});
    press(Qt::Key_Right, Qt::ShiftModifier);
    EXPECT_EQ(view->selectedButtons(), (QStringList{"J", "K"}));
    press(Qt::Key_Escape);
    EXPECT_TRUE(view->selectedButtons().isEmpty());
}

TEST_F(KeyboardViewTest, DeleteAsksTheDelegateAndArrowsContinueFromTheDeletedKey)
{
    click(QStringLiteral("Q"));
    press(Qt::Key_Backspace);
    EXPECT_EQ(delegate.deleted, QList<QStringList>{QStringList{"Q"}});
    EXPECT_TRUE(view->selectedButtons().isEmpty());
    press(Qt::Key_Right);
    EXPECT_EQ(view->selectedButtons(), QStringList{"W"});
}

TEST_F(KeyboardViewTest, CutDeletesOnlyWhatReachedTheClipboard)
{
    view->selectButtonNamed(QStringLiteral("A"), false);
    delegate.clipboardWorks = false;
    view->cut();
    EXPECT_TRUE(delegate.deleted.isEmpty());
    EXPECT_EQ(view->selectedButtons(), QStringList{"A"});
    delegate.clipboardWorks = true;
    view->cut();
    EXPECT_EQ(delegate.deleted, QList<QStringList>{QStringList{"A"}});
    EXPECT_TRUE(view->selectedButtons().isEmpty());
}

TEST_F(KeyboardViewTest, PasteWithNothingSelectedNamesNoKey)
{
    auto *data = new QMimeData;
    data->setData(mimetypes::KeyboardButtons, QByteArray("keys"));
    QApplication::clipboard()->setMimeData(data);
    view->paste();
    ASSERT_EQ(delegate.pastes.size(), 1u);
    EXPECT_EQ(delegate.pastes[0].key, std::nullopt);
    EXPECT_EQ(delegate.pastes[0].operation, std::nullopt);
    // Other data pastes only onto exactly one selected key.
    QApplication::clipboard()->setText(QStringLiteral("text"));
    view->paste();
    EXPECT_EQ(delegate.pastes.size(), 1u);
    view->selectButtonNamed(QStringLiteral("B"), false);
    view->paste();
    ASSERT_EQ(delegate.pastes.size(), 2u);
    EXPECT_EQ(delegate.pastes[1].key, std::optional<QString>(QStringLiteral("B")));
}

struct DropRow
{
    const char *name;
    QString format;
    bool onKey;
    Qt::KeyboardModifiers modifiers;
    bool delivered;
    Qt::DropAction operation = Qt::MoveAction;
    bool enterBeside = false; // the drag enters away from every key first
};

// clang-format off
const DropRow kDropRows[] = {
    {.name = "picture_on_a_key_moves", .format = "image/png", .onKey = true, .modifiers = {}, .delivered = true},
    {.name = "key_with_alt_copies", .format = "application/x-brevona-keyboard-button-drag", .onKey = true, .modifiers = Qt::AltModifier, .delivered = true, .operation = Qt::CopyAction},
    {.name = "keys_from_the_clipboard_type", .format = "application/x-brevona-keyboard-buttons", .onKey = true, .modifiers = {}, .delivered = true},
    {.name = "files", .format = "text/uri-list", .onKey = true, .modifiers = {}, .delivered = true},
    {.name = "entering_beside_the_keys_then_onto_one", .format = "application/x-brevona-keyboard-button-drag", .onKey = true, .modifiers = {}, .delivered = true, .operation = Qt::MoveAction, .enterBeside = true},
    {.name = "beside_every_key_refused", .format = "image/png", .onKey = false, .modifiers = {}, .delivered = false},
    {.name = "unknown_data_refused", .format = "text/plain", .onKey = true, .modifiers = {}, .delivered = false},
    {.name = "unknown_binary_refused", .format = "application/octet-stream", .onKey = true, .modifiers = {}, .delivered = false},
};
// clang-format on

class KeyboardViewDropRows : public KeyboardViewTest, public testing::WithParamInterface<DropRow>
{
};

TEST_P(KeyboardViewDropRows, ReachTheDelegateOnlyOnAKey)
{
    const DropRow &row = GetParam();
    QMimeData data;
    if (row.format == QLatin1String("text/uri-list"))
        data.setUrls({QUrl::fromLocalFile(QStringLiteral("/tmp/picture.png"))});
    else
        data.setData(row.format, QByteArray("payload"));
    const QPoint beside = outside("Esc").topLeft() - QPoint(10, 0);
    const QPoint point = row.onKey ? inside("T").center() : beside;
    LogCapture log({QStringLiteral("brevona.configurator.interface")});
    const bool accepted =
        drop(data, point, row.modifiers, row.enterBeside ? std::optional<QPoint>(beside) : std::nullopt);
    EXPECT_EQ(accepted, row.delivered);
    EXPECT_TRUE(view->dropHighlight().isEmpty());
    if (!row.delivered) {
        EXPECT_TRUE(delegate.pastes.empty());
        return;
    }
    ASSERT_EQ(delegate.pastes.size(), 1u);
    EXPECT_EQ(delegate.pastes[0].key, std::optional<QString>(QStringLiteral("T")));
    EXPECT_EQ(delegate.pastes[0].operation, std::optional<Qt::DropAction>(row.operation));
}

INSTANTIATE_TEST_SUITE_P(Rows, KeyboardViewDropRows, testing::ValuesIn(kDropRows), RowName());

TEST_F(KeyboardViewTest, DeferredPicturesWaitForTheMouseAndOnlyReplaceShownPictures)
{
    view->setImage(solid(Qt::red), QStringLiteral("A"));
    QTest::mousePress(view.get(), Qt::LeftButton, {}, inside("L").center());
    view->setDynamicImage(solid(Qt::blue), QStringLiteral("A"));
    view->setDynamicImage(solid(Qt::blue), QStringLiteral("S"));
    settle(std::chrono::milliseconds(300));
    EXPECT_EQ(view->imageForButton(QStringLiteral("A")).pixelColor(0, 0), QColor(Qt::red));
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, inside("L").center());
    EXPECT_EQ(view->imageForButton(QStringLiteral("A")).pixelColor(0, 0), QColor(Qt::blue));
    EXPECT_TRUE(view->imageForButton(QStringLiteral("S")).isNull());
    EXPECT_EQ(rendered().pixelColor(inside("A").center()), QColor(Qt::blue));
    // Without a mouse event the timer draws them.
    view->setDynamicImage(solid(Qt::green), QStringLiteral("A"));
    EXPECT_TRUE(
        waitUntil([&] { return view->imageForButton(QStringLiteral("A")).pixelColor(0, 0) == Qt::green; }));
}

TEST_F(KeyboardViewTest, PulseRunsForOneSelectedKeyInTheActiveWindow)
{
    QApplication::setActiveWindow(view.get());
    ASSERT_TRUE(waitUntil([&] { return view->isActiveWindow(); }));
    view->selectButtonNamed(QStringLiteral("H"), false);
    EXPECT_TRUE(view->isPulsing());
    EXPECT_TRUE(waitUntil([&] { return view->pulse().phase() == 15; }));
    QTest::mousePress(view.get(), Qt::LeftButton, {}, inside("H").center());
    EXPECT_FALSE(view->isPulsing());
    QTest::mouseRelease(view.get(), Qt::LeftButton, {}, inside("H").center());
    EXPECT_TRUE(view->isPulsing());
    view->selectButtonNamed(QStringLiteral("J"), true);
    EXPECT_FALSE(view->isPulsing());
    EXPECT_EQ(view->selectionColor().alphaF(), 1.0);
}

TEST_F(KeyboardViewTest, LockedSelectionIgnoresGesturesAndLockedKeysIgnoreEmptyKeys)
{
    view->selectButtonNamed(QStringLiteral("A"), false);
    view->setCanChangeSelection(false);
    EXPECT_TRUE(view->selectedButtons().isEmpty());
    click(QStringLiteral("A"));
    press(Qt::Key_Right);
    view->selectAll();
    EXPECT_TRUE(view->selectedButtons().isEmpty());
    view->setCanChangeSelection(true);
    view->setCanChangeButtons(false);
    view->setImage(solid(Qt::red), QStringLiteral("L"));
    click(QStringLiteral("K"));
    EXPECT_TRUE(view->selectedButtons().isEmpty());
    click(QStringLiteral("L"));
    EXPECT_EQ(view->selectedButtons(), QStringList{"L"});
    // A drag-out image is the key's picture in a frame 8 points larger than the key on screen.
    EXPECT_EQ(view->dragPixmapForButton(QStringLiteral("L")).deviceIndependentSize(), QSizeF(56, 56));
}

TEST_F(KeyboardViewTest, KeysAreAccessibleChildrenWithTheirSelection)
{
    QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(view.get());
    ASSERT_NE(tree, nullptr);
    ASSERT_EQ(tree->childCount(), view->geometry().count());
    EXPECT_TRUE(tree->state().multiSelectable);
    QStringList names;
    for (int i = 0; i < tree->childCount(); ++i)
        names.append(tree->child(i)->text(QAccessible::Name));
    names.sort();
    QStringList expected;
    for (const KeyboardGeometry::Key &key : view->geometry().keys())
        expected.append(key.name);
    expected.sort();
    EXPECT_EQ(names, expected);

    QAccessibleInterface *h = tree->child(view->geometry().indexOf(QStringLiteral("H")));
    EXPECT_EQ(tree->indexOfChild(h), view->geometry().indexOf(QStringLiteral("H")));
    EXPECT_EQ(h->parent(), tree);
    EXPECT_FALSE(h->state().selected);
    EXPECT_EQ(h->rect(), QRect(view->mapToGlobal(outside("H").topLeft()), outside("H").size()));
    EXPECT_EQ(tree->childAt(h->rect().center().x(), h->rect().center().y()), h);
    h->actionInterface()->doAction(QAccessibleActionInterface::pressAction());
    EXPECT_EQ(view->selectedButtons(), QStringList{"H"});
    EXPECT_TRUE(h->state().selected);
    QAccessibleInterface *j = tree->child(view->geometry().indexOf(QStringLiteral("J")));
    j->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    h->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
    EXPECT_EQ(view->selectedButtons(), QStringList{"J"});
    EXPECT_FALSE(h->state().selected);
}

} // namespace
} // namespace brevona::test
