#include <QApplication>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("ヤルキン！"));
    window.setFixedSize(629, 450);
    window.show();
    return application.exec();
}
