// The yardstick for the idle memory benchmark: the smallest useful Qt Widgets program, one window with one
// button, running its event loop like the real program does between cycles.
#include <QApplication>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.setWindowTitle(QStringLiteral("Hello"));
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QPushButton(QStringLiteral("Hello"), &window));
    window.show();
    return app.exec();
}
