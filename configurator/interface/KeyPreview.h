#pragma once

#include <QLabel>

namespace brevona {

// The first selected key's picture, twice its size, on black.
class KeyPreview : public QLabel
{
    Q_OBJECT
public:
    static constexpr int Side = 96;

    explicit KeyPreview(QWidget *parent = nullptr);
    // A null picture shows the black square alone.
    void showPicture(const QImage &picture);
};

} // namespace brevona
