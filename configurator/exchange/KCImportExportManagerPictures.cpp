// Pictures in and out: the keyboard template, the button set and a whole-keyboard picture cut into
// a layer.
#include "KCImportExportManager.h"

#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QSaveFile>

#include "ExchangeLogging.h"
#include "KCGroupLayer.h"
#include "KCLanguageLayer.h"
#include "KCLayerManager.h"
#include "KCSingleLayer.h"
#include "KeyboardData.h"
#include "LayerPicture.h"
#include "ResourceFiles.h"
#include "Rgb565.h"

namespace brevona {

namespace {

constexpr int LzwCompression = 1;
constexpr int Side = LayerPicture::KeySize;

template<typename T> Result<T> failed(const QString &why)
{
    qCWarning(lcExchange).noquote() << why;
    return Result<T>::failure(why);
}

// Whether a key picture shows anything but black inside its 1-pixel border.
bool showsSomething(const QImage &opaqueLayer, QPoint location)
{
    const QImage cell = LayerPicture::cut(opaqueLayer, location).convertToFormat(QImage::Format_RGB32);
    for (int y = 1; y < Side - 1; ++y) {
        const auto *row = reinterpret_cast<const QRgb *>(cell.constScanLine(y));
        for (int x = 1; x < Side - 1; ++x) {
            if ((row[x] & 0x00FFFFFFu) != 0)
                return true;
        }
    }
    return false;
}

} // namespace

QImage KCImportExportManager::keyPicture(KCLayer &layer, const QString &key, const QString &modifierKey)
{
    if (auto *language = dynamic_cast<KCLanguageLayer *>(&layer))
        return language->imageForButtonAndModifierKey(key, modifierKey);
    if (auto *single = dynamic_cast<KCSingleLayer *>(&layer)) {
        single->ensureImageRestored();
        const QImage own = single->pictureImageForButton(key);
        return own.isNull() ? single->imageForButton(key) : own;
    }
    return layer.imageForButton(key);
}

std::shared_ptr<KCLayer> KCImportExportManager::currentCompoundLayer(const QStringList &rows)
{
    if (rows.size() == 1)
        return m_layers.findLayerByID(rows.first());
    // The user's rows in list order, then the background rows as given.
    QStringList ordered = inRowOrder(rows);
    for (const QString &row : rows) {
        if (!ordered.contains(row))
            ordered.append(row);
    }
    auto compound = KCSingleLayer::create();
    bool any = false;
    for (const QString &row : ordered) {
        const auto item = m_layers.findLayerByID(row);
        if (!item || item->isGroup())
            continue;
        any = true;
        const auto *language = dynamic_cast<const KCLanguageLayer *>(item.get());
        const QString modifier = language ? language->currentModifierKeys() : QString();
        for (const QString &key : item->buttonNames()) {
            const QImage picture = keyPicture(*item, key, modifier);
            compound->createButton(key);
            compound->setImage(
                picture.isNull() ? LayerPicture::blackKey() : LayerPicture::keyPicture(picture), key);
        }
    }
    if (!any)
        return nullptr;
    return compound;
}

QImage KCImportExportManager::templateImageForLayer(KCLayer &layer)
{
    const auto *language = dynamic_cast<const KCLanguageLayer *>(&layer);
    return templateImageForLayer(layer, language ? language->currentModifierKeys() : QString());
}

QImage KCImportExportManager::templateImageForLayer(KCLayer &layer, const QString &modifierKey)
{
    if (m_drawMask.isNull()) {
        const QString path = KeyboardData::shared().filePath(resourcefiles::DrawMask);
        m_drawMask = QImage(path).convertToFormat(LayerPicture::PixelFormat);
        if (m_drawMask.size() != QSize(LayerPicture::Width, LayerPicture::Height)) {
            qCWarning(lcExchange, "The keyboard drawing %s cannot be read; templates are drawn on black",
                      qUtf8Printable(path));
            m_drawMask = LayerPicture::blackLayer();
        }
    }
    QImage picture = m_drawMask.copy();
    QPainter painter(&picture);
    for (const QString &key : layer.buttonNames()) {
        const auto location = LayerPicture::location(key);
        if (!location)
            continue;
        const QRect cell(*location, QSize(Side, Side));
        const QImage image = keyPicture(layer, key, modifierKey);
        if (image.isNull())
            painter.fillRect(cell, Qt::black);
        else
            painter.drawImage(cell, image);
    }
    painter.end();
    return picture;
}

Result<QString> KCImportExportManager::exportTemplate(const QStringList &rows, const QString &path)
{
    const auto layer = currentCompoundLayer(rows);
    if (!layer)
        return failed<QString>(QStringLiteral("There is no layer to export as a template"));
    const QString file = pathWithExtension(path, QStringLiteral("tiff"));
    QSaveFile out(file);
    QImageWriter writer(&out, "tiff");
    writer.setCompression(LzwCompression);
    if (!out.open(QIODevice::WriteOnly) || !writer.write(templateImageForLayer(*layer)) || !out.commit())
        return failed<QString>(QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString()));
    return file;
}

QByteArray KCImportExportManager::OLEDDataForImage(const QImage &picture)
{
    const QImage source = LayerPicture::keyPicture(picture).convertToFormat(QImage::Format_RGB888);
    QByteArray bytes(2 * Side * Side, Qt::Uninitialized);
    char *out = bytes.data();
    for (int y = 0; y < Side; ++y) {
        const uchar *row = source.constScanLine(y);
        for (int x = 0; x < Side; ++x) {
            int red = row[3 * x];
            int green = rgb565::keptGreen(row[3 * x + 1]);
            int blue = row[3 * x + 2];
            // The last pixel of a row shows brighter on the panel: it is sent at half strength.
            if (x == Side - 1) {
                red >>= 1;
                green >>= 1;
                blue >>= 1;
            }
            const quint16 value = rgb565::packed(red, green, blue);
            *out++ = static_cast<char>(value >> 8);
            *out++ = static_cast<char>(value & 0xFF);
        }
    }
    return bytes;
}

Result<int> KCImportExportManager::exportButtons(const QStringList &rows, const QString &folder,
                                                 const Progress &progress)
{
    const auto layer = currentCompoundLayer(rows);
    if (!layer)
        return failed<int>(QStringLiteral("There is no layer to export as a button set"));
    return saveOLEDImagesForLayer(*layer, folder, progress);
}

Result<int> KCImportExportManager::saveOLEDImagesForLayer(KCLayer &layer, const QString &folder,
                                                          const Progress &progress)
{
    if (!QDir().mkpath(folder))
        return failed<int>(QStringLiteral("The folder %1 cannot be made").arg(folder));
    const auto *language = dynamic_cast<const KCLanguageLayer *>(&layer);
    const QString modifier = language ? language->currentModifierKeys() : QString();
    const QStringList names = layer.buttonNames();
    std::vector<const KeyboardData::Key *> keys;
    for (const KeyboardData::Key &key : KeyboardData::shared().keys()) {
        if (key.display > 0 && names.contains(key.name))
            keys.push_back(&key);
    }
    int written = 0;
    for (size_t position = 0; position < keys.size(); ++position) {
        if (progress && !progress(static_cast<int>(100 * (position + 1) / keys.size())))
            return failed<int>(QStringLiteral("The export was cancelled after %1 files").arg(written));
        const KeyboardData::Key &key = *keys[position];
        const QImage picture = keyPicture(layer, key.name, modifier);
        if (picture.isNull())
            continue;
        const QString file = QDir(folder).filePath(QString::asprintf("%03d.sys", key.display));
        QSaveFile out(file);
        const QByteArray bytes = OLEDDataForImage(picture);
        if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit())
            return failed<int>(QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString()));
        ++written;
    }
    return written;
}

QStringList KCImportExportManager::keysShownBy(const QImage &picture, const KCSingleLayer *layer)
{
    QStringList keys;
    for (const KeyboardData::Key &key : KeyboardData::shared().keys()) {
        if (key.display <= 0)
            continue;
        if ((layer && layer->hasButton(key.name)) || showsSomething(picture, key.location))
            keys.append(key.name);
    }
    return keys;
}

Result<QString> KCImportExportManager::importPictureFile(const QString &path, const QString &into)
{
    QImageReader reader(path);
    const QSize size = reader.size();
    if (!size.isValid())
        return failed<QString>(
            QStringLiteral("%1 is not a picture the configurator can read").arg(QFileInfo(path).fileName()));
    if (size != QSize(LayerPicture::Width, LayerPicture::Height))
        return failed<QString>(QStringLiteral("%1: %2").arg(WrongFormatMessage, WrongFormatInformative));
    const QImage picture = reader.read();
    if (picture.isNull())
        return failed<QString>(
            QStringLiteral("%1 cannot be read: %2").arg(QFileInfo(path).fileName(), reader.errorString()));
    return importPicture(picture, into, QFileInfo(path).completeBaseName());
}

Result<QString> KCImportExportManager::importPicture(const QImage &picture, const QString &into,
                                                     const QString &title, const QString &edit)
{
    if (picture.size() != QSize(LayerPicture::Width, LayerPicture::Height))
        return failed<QString>(QStringLiteral("%1: %2").arg(WrongFormatMessage, WrongFormatInformative));
    const QImage opaque = LayerPicture::opaque(picture);
    if (into.isEmpty()) {
        auto layer = KCSingleLayer::create();
        layer->setTitle(title);
        for (const QString &key : keysShownBy(opaque, layer.get())) {
            layer->createButton(key);
            layer->setImage(LayerPicture::cut(opaque, *LayerPicture::location(key)), key);
        }
        if (m_layers.addNewLayer(layer, edit) != KCLayerManager::Outcome::Done)
            return failed<QString>(m_layers.lastError());
        return layer->UUID();
    }
    const auto layer = std::dynamic_pointer_cast<KCSingleLayer>(m_layers.findLayerByID(into));
    if (!layer || !m_layers.relativePathForLayer(layer.get()))
        return failed<QString>(QStringLiteral("%1 is not a layer of the user's").arg(into));
    layer->ensureImageRestored();
    KCLayerManager::KeyStates states;
    for (const QString &key : keysShownBy(opaque, layer.get())) {
        const auto old = m_layers.keyState(into, key);
        states[key] = KCLayerManager::KeyState{LayerPicture::cut(opaque, *LayerPicture::location(key)),
                                               old ? old->info : QVariantMap()};
    }
    if (!states.empty() && m_layers.setKeys(into, states, edit) != KCLayerManager::Outcome::Done)
        return failed<QString>(m_layers.lastError());
    m_layers.setSelection({into});
    return into;
}

} // namespace brevona
