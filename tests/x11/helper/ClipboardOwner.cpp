// Another application on the clipboard: offers a text as text/plain together with extra
// types (each carrying "secret") and serves the clipboard until another client takes it over.
//   x11_clipboard_owner TEXT [TYPE...]

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "xcb");
    QGuiApplication app(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    auto* data = new QMimeData;
    data->setText(arguments.value(1));
    for (const QString& type : arguments.mid(2))
        data->setData(type, "secret");
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setMimeData(data);
    QObject::connect(clipboard, &QClipboard::dataChanged, &app, [clipboard] {
        if (!clipboard->ownsClipboard())
            QCoreApplication::quit();
    });
    return QGuiApplication::exec();
}
