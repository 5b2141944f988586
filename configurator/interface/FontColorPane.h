#pragma once

#include <memory>

#include <QStringList>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSlider;

namespace brevona {

class KeyColorsRow;
class KeyPreview;
class KCFontColorManager;
class KCLayerManager;

// The "Fonts & Colors" page of language layers: family, size, bold, italic and the two colours of
// the selected keys, a preview of the first key and of the font. The controls only speak to the
// font and colour manager; it stores the values and tells the driver.
class FontColorPane : public QWidget
{
    Q_OBJECT
public:
    explicit FontColorPane(QWidget *parent = nullptr);
    ~FontColorPane() override;

    // Null while the layer store is being replaced. The installed fonts are read once.
    void setLayerManager(KCLayerManager *manager);
    KCFontColorManager *manager() const { return m_manager.get(); }
    // The page is shown or hidden: only a shown page follows the keyboard's selection.
    void setActive(bool active);
    void setSelectedKeys(const QStringList &keys);

    QComboBox *fontMenu() const { return m_fonts; }
    QLineEdit *sizeField() const { return m_sizeField; }
    QCheckBox *boldBox() const { return m_bold; }
    QCheckBox *italicBox() const { return m_italic; }
    KeyColorsRow *colors() const { return m_colors; }

private:
    void buildMenu();
    // The controls show the manager's values; nothing is stored meanwhile.
    void refresh();
    void showKeyPreview();
    void fontChosen();
    void sizeTyped();

    KCLayerManager *m_layers = nullptr;
    std::unique_ptr<KCFontColorManager> m_manager;
    QStringList m_keys;
    bool m_active = false;
    bool m_refreshing = false;
    KeyPreview *m_keyPreview = nullptr;
    QComboBox *m_fonts = nullptr;
    QSlider *m_sizeSlider = nullptr;
    QLineEdit *m_sizeField = nullptr;
    QCheckBox *m_bold = nullptr;
    QCheckBox *m_italic = nullptr;
    KeyColorsRow *m_colors = nullptr;
    QLabel *m_fontPreview = nullptr;
};

} // namespace brevona
