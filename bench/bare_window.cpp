// The floor for start-up: a Qt Widgets program that links Qt Widgets alone and shows one
// 629x450 window with one label in IPAPGothic, the face the program's windows use here.
#include <QApplication>
#include <QLabel>
#include <QWidget>

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setFixedSize(629, 450);
    QLabel label(QStringLiteral("腕立て伏せ"), &window);
    label.setFont(QFont(QStringLiteral("IPAPGothic"), 22));
    label.setGeometry(10, 10, 400, 60);
    window.show();
    return application.exec();
}
