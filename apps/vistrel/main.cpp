// The main application. Until the application shell exists it opens an empty main window.
#include <QApplication>
#include <QMainWindow>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setOrganizationDomain("morlunesoftware.com");
    QApplication::setApplicationName("Vistrel");
    QMainWindow window;
    window.setWindowTitle("Vistrel");
    window.resize(1280, 800);
    window.show();
    return app.exec();
}
