// Until the main window lands, the program opens a placeholder window that says so.
#include <QApplication>
#include <QLabel>
#include <QMainWindow>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QMainWindow window;
    window.setWindowTitle(QStringLiteral("Vorkel configurator"));
    auto* label = new QLabel(QStringLiteral(
        "Vorkel fuel-level sensor configurator.\n\nThe serial transport and the sensor protocol "
        "core are built;\nthe main window arrives with the application shell."));
    label->setAlignment(Qt::AlignCenter);
    label->setMargin(24);
    window.setCentralWidget(label);
    window.resize(640, 240);
    window.show();
    return app.exec();
}
