// A window at the top-left corner of the screen that starts a text drag when
// pressed, for checking drops onto the collector under a real X server.
//   drag_source [--title "window title"] [--moz-url URL] [--no-focus] "text to drag"
// With --title the window takes that title and the input focus, as the
// browser a text is selected in has them; with --moz-url the drag offers the
// link as Firefox does, as text/x-moz-url (UTF-16) without text/uri-list;
// with --no-focus the window never takes the focus, so the window a drag
// comes from cannot be told.
// It prints what a driving test waits for: "drag started" once the drag runs,
// "drag action: <n>" as the window under the pointer accepts (n = 1, copy)
// or refuses (0) it, and "drag ended: <n>" with the action taken.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>

#include <cstdio>
#include <optional>
#include <string>

namespace {

// Qt names text/x-moz-url "text/uri-list" inside a program and serves the
// format from the link given under that name, as UTF-16; announcing only
// text/x-moz-url keeps text/uri-list itself out of the drag.
class MozUrlData : public QMimeData {
public:
    explicit MozUrlData(const QString& url) : m_url(url.toUtf8()) {}

    QStringList formats() const override
    {
        return QMimeData::formats() << QStringLiteral("text/x-moz-url");
    }
    bool hasFormat(const QString& format) const override
    {
        return format == QStringLiteral("text/uri-list") || QMimeData::hasFormat(format);
    }

protected:
    QVariant retrieveData(const QString& format, QMetaType type) const override
    {
        if (format == QStringLiteral("text/uri-list"))
            return m_url;
        return QMimeData::retrieveData(format, type);
    }

private:
    QByteArray m_url;
};

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class Source : public QLabel {
public:
    Source(const QString& text, const QString& url) : QLabel(text), m_text(text), m_url(url)
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setStyleSheet(QStringLiteral("background: #ffd; padding: 20px;"));
    }

protected:
    void mousePressEvent(QMouseEvent*) override
    {
        m_pressed = true;
        // Where no window manager gives the focus on a press, take it, as
        // the window the user selects in has it.
        if (!windowTitle().isEmpty() && !(windowFlags() & Qt::WindowDoesNotAcceptFocus))
            activateWindow();
    }
    void mouseMoveEvent(QMouseEvent*) override
    {
        if (!m_pressed)
            return;
        m_pressed = false;
        auto* data = m_url.isEmpty() ? new QMimeData : new MozUrlData(m_url);
        data->setText(m_text);
        auto* drag = new QDrag(this);
        drag->setMimeData(data);
        connect(drag, &QDrag::actionChanged, this, [](Qt::DropAction action) {
            say("drag action: " + std::to_string(int(action)));
        });
        say("drag started");
        const Qt::DropAction result = drag->exec(Qt::CopyAction | Qt::MoveAction);
        say("drag ended: " + std::to_string(int(result)));
    }

private:
    QString m_text;
    QString m_url;
    bool m_pressed = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const auto option = [&args](const QString& name) -> std::optional<QString> {
        const qsizetype at = args.indexOf(name);
        if (at < 0 || at + 1 >= args.size())
            return std::nullopt;
        const QString value = args.at(at + 1);
        args.remove(at, 2);
        return value;
    };
    const std::optional<QString> title = option(QStringLiteral("--title"));
    const QString url = option(QStringLiteral("--moz-url")).value_or(QString());
    const bool noFocus = args.removeAll(QStringLiteral("--no-focus")) > 0;
    Source source(args.value(0, QStringLiteral("dragged text")), url);
    source.setGeometry(0, 0, 240, 80);
    if (title)
        source.setWindowTitle(*title);
    source.setWindowFlag(Qt::WindowDoesNotAcceptFocus, noFocus);
    source.show();
    return app.exec();
}
