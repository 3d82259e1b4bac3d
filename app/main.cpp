#include <QApplication>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // FIXME: placeholder window until the triangle window exists.
    QMainWindow window;
    window.setWindowTitle("Pytagoras");
    window.resize(950, 700);
    window.show();
    return app.exec();
}
