// Writes a small layer store that shows what the keyboard can do: a picture layer over every key,
// a hybrid layer sharing keys with the language letters, a demo group cycling every 5 seconds and
// a clock on a key. Usage: brevona-sample-store <store folder>
#include <cstdio>

#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QFileInfo>
#include <QPainter>

#include "KeyboardData.h"
#include "StoreWriter.h"

using namespace brevona;

namespace {

constexpr int Width = KeyboardData::kPictureWidth;
constexpr int Height = KeyboardData::kPictureHeight;

bool writeLayer(const QString &folder, const QVariantMap &plist, const QImage &picture)
{
    // The store's own writer, relative to the folder's parent (the store or a group in it).
    const QFileInfo layer(folder);
    const StoreWriter writer(layer.path());
    return writer.writeLayer(layer.fileName(), plist) && writer.writePicture(layer.fileName(), picture);
}

QImage blankPicture()
{
    QImage picture(Width, Height, QImage::Format_ARGB32_Premultiplied);
    picture.fill(Qt::black);
    return picture;
}

// Every key gets its name on a colour that runs across the keyboard.
bool writePictureLayer(const QString &folder, const KeyboardData &data)
{
    QImage picture = blankPicture();
    QPainter painter(&picture);
    QVariantMap buttons;
    for (const auto &key : data.keys()) {
        if (key.display == 0)
            continue;
        const QRect cell = key.cell();
        const QColor colour = QColor::fromHsv((cell.x() * 300 / Width) % 360, 200, 170);
        painter.fillRect(cell, colour);
        painter.setPen(Qt::white);
        QFont font = painter.font();
        font.setPixelSize(key.name.size() > 3 ? 10 : 18);
        font.setBold(true);
        painter.setFont(font);
        painter.drawText(cell, Qt::AlignCenter, key.name);
        buttons.insert(key.name, QVariantMap{});
    }
    painter.end();
    return writeLayer(folder,
                      {{"DisplayName", "Rainbow"},
                       {"Disabled", false},
                       {"Hybrid", false},
                       {"Conditions", QVariantList{}},
                       {"Buttons", buttons}},
                      picture);
}

// A hybrid layer: small marks that share their keys with what lies below.
bool writeHybridLayer(const QString &folder, const KeyboardData &data)
{
    QImage picture = blankPicture();
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    QVariantMap buttons;
    for (const QString &name :
         {QStringLiteral("W"), QStringLiteral("A"), QStringLiteral("S"), QStringLiteral("D")}) {
        const auto *key = data.key(name);
        if (!key)
            continue;
        painter.setBrush(QColor(255, 200, 40));
        painter.setPen(Qt::NoPen);
        painter.drawEllipse(key->cell().adjusted(6, 6, -6, -6));
        buttons.insert(name, QVariantMap{});
    }
    painter.end();
    return writeLayer(folder,
                      {{"DisplayName", "Game keys"},
                       {"Disabled", false},
                       {"Hybrid", true},
                       {"Conditions", QVariantList{}},
                       {"Buttons", buttons}},
                      picture);
}

// One frame of the demo: a band of colour over one row of keys.
bool writeDemoLayer(const QString &folder, const KeyboardData &data, int row, const QColor &colour)
{
    QImage picture = blankPicture();
    QPainter painter(&picture);
    QVariantMap buttons;
    // Keys of one row sit within one key height of each other; taller keys are centred lower.
    const auto rowOf = [](const KeyboardData::Key &key) { return key.location.y() / 52; };
    QList<int> rows;
    for (const auto &key : data.keys()) {
        if (key.display != 0 && !rows.contains(rowOf(key)))
            rows.append(rowOf(key));
    }
    std::sort(rows.begin(), rows.end());
    const int wanted = rows.value(row, -1);
    for (const auto &key : data.keys()) {
        if (key.display == 0 || rowOf(key) != wanted || key.name.startsWith(QLatin1String("App")))
            continue;
        painter.fillRect(key.cell(), colour);
        buttons.insert(key.name, QVariantMap{});
    }
    painter.end();
    return writeLayer(folder,
                      {{"DisplayName", folder.section(QLatin1Char('/'), -1)},
                       {"Disabled", false},
                       {"Hybrid", false},
                       {"Conditions", QVariantList{}},
                       {"Buttons", buttons}},
                      picture);
}

bool writeClockLayer(const QString &folder)
{
    const QVariantMap clock{{"Signature", "brevona.display.general.clock"}, {"Settings", QVariantMap{}}};
    return writeLayer(folder,
                      {{"DisplayName", "Clock"},
                       {"Disabled", false},
                       {"Hybrid", false},
                       {"Conditions", QVariantList{}},
                       {"Buttons", QVariantMap{{"App0", QVariantMap{{"DisplayPlugin", clock}}}}}},
                      blankPicture());
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const char usage[] = "usage: brevona-sample-store <store folder> [--extra-layers N]\n";
    if (argc == 2 && (QByteArray(argv[1]) == "--help" || QByteArray(argv[1]) == "-h")) {
        std::fputs(usage, stdout);
        return 0;
    }
    // --extra-layers N adds N full picture layers under the sample, for measuring large stores.
    int extraLayers = 0;
    if (argc == 4 && QByteArray(argv[2]) == "--extra-layers")
        extraLayers = QByteArray(argv[3]).toInt();
    if (argc != 2 && !(argc == 4 && extraLayers > 0)) {
        std::fputs(usage, stderr);
        return 2;
    }
    const KeyboardData &data = KeyboardData::shared();
    if (data.isEmpty()) {
        std::fprintf(stderr, "brevona-sample-store: the keyboard data set is missing\n");
        return 1;
    }
    const QString root = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir(root).removeRecursively();

    const QString clock = QStringLiteral("5E0C1D7A-0000-4000-8000-00000000C10C");
    const QString demo = QStringLiteral("5E0C1D7A-0000-4000-8000-0000000DE300");
    const QString hybrid = QStringLiteral("5E0C1D7A-0000-4000-8000-0000000B1B1D");
    const QString rainbow = QStringLiteral("5E0C1D7A-0000-4000-8000-000000000001");
    const QStringList frames{QStringLiteral("Frame1"), QStringLiteral("Frame2"), QStringLiteral("Frame3")};

    bool ok = writeClockLayer(root + QLatin1Char('/') + clock);
    ok = ok && writeHybridLayer(root + QLatin1Char('/') + hybrid, data);
    ok = ok && writePictureLayer(root + QLatin1Char('/') + rainbow, data);
    const QList<QColor> colours{QColor(230, 60, 60), QColor(60, 200, 90), QColor(70, 120, 240)};
    for (int i = 0; i < frames.size(); ++i)
        ok = ok && writeDemoLayer(root + QLatin1Char('/') + demo + QLatin1Char('/') + frames[i], data, i + 1,
                                  colours[i]);
    QVariantList rootOrder{clock, hybrid, demo, rainbow};
    for (int i = 0; i < extraLayers && ok; ++i) {
        const QString id = QStringLiteral("5E0C1D7A-0000-4000-8000-1%1").arg(i, 11, 10, QLatin1Char('0'));
        ok = writePictureLayer(root + QLatin1Char('/') + id, data);
        rootOrder.append(id);
    }
    QVariantList frameOrder;
    for (const QString &frame : frames)
        frameOrder.append(frame);
    const StoreWriter store(root);
    ok = ok && store.writeGroup(demo, QVariantMap{{"DisplayName", "DemoLayers"},
                                                  {"Disabled", false},
                                                  {"Conditions", QVariantList{}},
                                                  {"Expanded", true},
                                                  {"ItemOrder", frameOrder}});
    ok = ok && store.writeGroup(QString(), QVariantMap{{"DisplayName", "root"}, {"ItemOrder", rootOrder}});
    if (!ok) {
        std::fprintf(stderr, "brevona-sample-store: could not write the store in %s\n", qPrintable(root));
        return 1;
    }
    std::printf("%s\n", qPrintable(root));
    return 0;
}
