// A Wayland client window for tests: its app id is the first argument (Qt gives a window the
// desktop file name as its app id). It stays until it is killed.
#include <QGuiApplication>
#include <QPainter>
#include <QRasterWindow>

namespace {

class Window : public QRasterWindow
{
protected:
    void paintEvent(QPaintEvent *) override
    {
        QPainter(this).fillRect(QRect(QPoint(), size()), Qt::darkBlue);
    }
};

} // namespace

int main(int argc, char **argv)
{
    QGuiApplication application(argc, argv);
    if (argc < 2)
        return 2;
    QGuiApplication::setDesktopFileName(QString::fromLocal8Bit(argv[1]));
    Window window;
    window.setTitle(QString::fromLocal8Bit(argv[1]));
    window.resize(160, 90);
    window.show();
    return application.exec();
}
