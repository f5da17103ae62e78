// A window at the top-left corner of the screen that starts a text drag when
// pressed, for checking drops onto the collector under a real X server.
//   drag_source "text to drag"
// It prints what a driving test waits for: "drag started" once the drag runs,
// "drag action: <n>" as the window under the pointer accepts (n = 1, copy)
// or refuses (0) it, and "drag ended: <n>" with the action taken.
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>

#include <cstdio>
#include <string>

namespace {

void say(const std::string& line)
{
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

class Source : public QLabel {
public:
    explicit Source(const QString& text) : QLabel(text), m_text(text)
    {
        setWindowFlag(Qt::FramelessWindowHint);
        setStyleSheet(QStringLiteral("background: #ffd; padding: 20px;"));
    }

protected:
    void mousePressEvent(QMouseEvent*) override { m_pressed = true; }
    void mouseMoveEvent(QMouseEvent*) override
    {
        if (!m_pressed)
            return;
        m_pressed = false;
        auto* data = new QMimeData;
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
    bool m_pressed = false;
};

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    Source source(argc > 1 ? QString::fromUtf8(argv[1]) : QStringLiteral("dragged text"));
    source.setGeometry(0, 0, 240, 80);
    source.show();
    return app.exec();
}
