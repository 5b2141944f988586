#include "KeyPreview.h"

#include <QImage>
#include <QPixmap>

namespace brevona {

KeyPreview::KeyPreview(QWidget *parent)
    : QLabel(parent)
{
    setAccessibleName(tr("Key preview"));
    setFixedSize(Side, Side);
    setAlignment(Qt::AlignCenter);
    setStyleSheet(QStringLiteral("background: black"));
}

void KeyPreview::showPicture(const QImage &picture)
{
    if (picture.isNull()) {
        clear();
        return;
    }
    setPixmap(QPixmap::fromImage(picture.scaled(Side, Side, Qt::KeepAspectRatio, Qt::SmoothTransformation)));
}

} // namespace brevona
