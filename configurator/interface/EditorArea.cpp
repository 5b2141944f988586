#include "EditorArea.h"

#include <QLabel>
#include <QStackedWidget>
#include <QVBoxLayout>

#include "LayerPicture.h"

namespace brevona {

namespace {

constexpr int KeyboardMargin = 10;

struct PageText
{
    const char *objectName;
    const char *title;
    const char *explanation;
};

// The pages' own editors (plugins, fonts and colours, control-button labels) fill them later.
const PageText Pages[] = {
    {"displayAndAction", QT_TRANSLATE_NOOP("EditorArea", "Display and Action"),
     QT_TRANSLATE_NOOP("EditorArea",
                       "The keys of the selected layer: their pictures, display plugins and actions.")},
    {"languageOptions", QT_TRANSLATE_NOOP("EditorArea", "Language Options"),
     QT_TRANSLATE_NOOP("EditorArea", "The fonts and colours of the input language's characters.")},
    {"controlButtons", QT_TRANSLATE_NOOP("EditorArea", "Control Buttons"),
     QT_TRANSLATE_NOOP("EditorArea", "The labels of the control keys.")},
};

} // namespace

EditorArea::EditorArea(QWidget *parent)
    : QSplitter(Qt::Vertical, parent)
{
    setObjectName(QStringLiteral("editorSplit"));
    setAccessibleName(tr("Editor"));
    setChildrenCollapsible(false);

    auto *placeholder = new QLabel(tr("Keyboard"), this);
    placeholder->setObjectName(QStringLiteral("keyboardView"));
    placeholder->setAccessibleName(tr("Keyboard"));
    placeholder->setAlignment(Qt::AlignCenter);
    placeholder->setFrameShape(QFrame::StyledPanel);
    placeholder->setEnabled(false);
    m_keyboard = placeholder;
    addWidget(m_keyboard);

    m_pages = new QStackedWidget(this);
    m_pages->setObjectName(QStringLiteral("editorPages"));
    m_pages->setAccessibleName(tr("Editor pages"));
    for (const PageText &text : Pages) {
        auto *page = new QWidget(m_pages);
        page->setObjectName(QString::fromLatin1(text.objectName));
        page->setAccessibleName(tr(text.title));
        auto *layout = new QVBoxLayout(page);
        auto *title = new QLabel(QStringLiteral("<b>%1</b>").arg(tr(text.title).toHtmlEscaped()), page);
        title->setAccessibleName(tr(text.title));
        auto *explanation = new QLabel(tr(text.explanation), page);
        explanation->setAccessibleName(tr("About this page"));
        explanation->setWordWrap(true);
        auto *summary = new QLabel(page);
        summary->setObjectName(QStringLiteral("selectionSummary"));
        summary->setAccessibleName(tr("Selection"));
        summary->setWordWrap(true);
        summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
        m_summaries << summary;
        layout->addWidget(title);
        layout->addWidget(explanation);
        layout->addWidget(summary);
        layout->addStretch(1);
        m_pages->addWidget(page);
    }
    addWidget(m_pages);
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    handle(1)->setAccessibleName(tr("Divider between the keyboard and the editor pages"));
}

void EditorArea::setKeyboardView(QWidget *view)
{
    if (!view || view == m_keyboard)
        return;
    QWidget *old = replaceWidget(0, view);
    if (old)
        old->deleteLater();
    m_keyboard = view;
    layOut();
}

void EditorArea::setPageContent(Page page, QWidget *content)
{
    auto *layout = static_cast<QVBoxLayout *>(m_pages->widget(int(page))->layout());
    // The content takes the room the stretch kept below the texts.
    if (QLayoutItem *stretch = layout->takeAt(layout->count() - 1))
        delete stretch;
    layout->addWidget(content, 1);
}

void EditorArea::showPage(Page page)
{
    m_pages->setCurrentIndex(static_cast<int>(page));
}

EditorArea::Page EditorArea::currentPage() const
{
    return static_cast<Page>(m_pages->currentIndex());
}

void EditorArea::setSelectionSummary(const QString &summary)
{
    for (QLabel *label : std::as_const(m_summaries))
        label->setText(summary);
}

void EditorArea::resizeEvent(QResizeEvent *event)
{
    QSplitter::resizeEvent(event);
    layOut();
}

void EditorArea::layOut()
{
    const double aspect = double(LayerPicture::Width) / double(LayerPicture::Height);
    const int keyboard = int(width() / aspect) + KeyboardMargin;
    const int pages = height() - keyboard - handleWidth();
    if (width() <= 0 || pages <= 0)
        return;
    setSizes({keyboard, pages});
}

} // namespace brevona
