#pragma once

#include <QSplitter>

class QLabel;
class QStackedWidget;

namespace brevona {

// The editor beside the layer list: the keyboard view on top, the pages of the editor below. The
// keyboard view keeps the keyboard picture's proportions: on every resize it is as tall as the
// area's width over the picture's aspect ratio, plus a margin; the pages take the rest.
class EditorArea : public QSplitter
{
    Q_OBJECT
public:
    // In the order of AppController::EditorPane.
    enum Page
    {
        DisplayAndAction,
        LanguageOptions,
        ControlButtons,
    };

    explicit EditorArea(QWidget *parent = nullptr);

    // Puts the keyboard view in place of the placeholder above the pages.
    void setKeyboardView(QWidget *view);
    QWidget *keyboardView() const { return m_keyboard; }
    void showPage(Page page);
    // The page's own editor, under its title and the selection summary.
    void setPageContent(Page page, QWidget *content);
    Page currentPage() const;
    // What the pages say about the selected rows.
    void setSelectionSummary(const QString &summary);

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    void layOut();

    QWidget *m_keyboard = nullptr;
    QStackedWidget *m_pages = nullptr;
    QList<QLabel *> m_summaries;
};

} // namespace brevona
