// The floor for the Linux start-up: a plain Qt Widgets window with the
// default notification's content (thebat.jpg beside the program, scaled to
// its box, and the default message in bold Arial 8 on pale yellow), at the
// default size and place. It does nothing else.
#include <QApplication>
#include <QLabel>
#include <QPixmap>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    // Closing a tool window does not end the application; its deletion does.
    auto* window = new QWidget(nullptr, Qt::Tool);
    window->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(window, &QObject::destroyed, &app, &QApplication::quit);
    window->setWindowTitle(QStringLiteral("Zettelblick 2"));
    window->setGeometry(233, 233, 233, 133);
    QPalette palette = window->palette();
    palette.setColor(QPalette::Window, QColor(0xFE, 0xFE, 0xBA));
    window->setPalette(palette);

    auto* picture = new QLabel(window);
    picture->setGeometry(0, 0, 90, 90);
    picture->setScaledContents(true);
    picture->setPixmap(QPixmap(QApplication::applicationDirPath() + "/thebat.jpg"));

    auto* text = new QLabel(QStringLiteral("You have got mail!"), window);
    text->setGeometry(92, 0, 133, 108);
    text->setFont(QFont(QStringLiteral("Arial"), 8, QFont::Bold));
    text->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    text->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text->setWordWrap(true);

    window->show();
    return app.exec();
}
