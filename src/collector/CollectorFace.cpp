#include "CollectorFace.h"

#include "DropText.h"
#include "QuorrelIcon.h"

#include <QDateTime>
#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>

namespace {

const QString Hint = QStringLiteral("把选中的文字拖放到这里");

} // namespace

CollectorFace::CollectorFace(QWidget* parent) : QWidget(parent)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setToolTip(Hint);
}

void CollectorFace::showRecentSources(const std::deque<ClipSource>& recent)
{
    setToolTip(ClipSources::toolTip(Hint, recent));
}

void CollectorFace::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int side = qMin(width(), height());
    p.drawPixmap(0, 0, QuorrelIcon::picture(side, m_highlighted));
}

void CollectorFace::setHighlighted(bool on)
{
    if (m_highlighted == on)
        return;
    m_highlighted = on;
    update();
}

namespace {

// A copy, never a move: the source must keep its text, and a drag that
// offers only a move is refused.
void acceptAsCopy(QDropEvent* event)
{
    if (event->possibleActions() & Qt::CopyAction) {
        event->setDropAction(Qt::CopyAction);
        event->accept();
    } else {
        event->ignore();
    }
}

} // namespace

void CollectorFace::dragEnterEvent(QDragEnterEvent* event)
{
    // Every drag may land; one without text is reported as a failed save.
    setHighlighted(DropText::hasPlainText(*event->mimeData()));
    acceptAsCopy(event);
    // Asked now, while the window the text is dragged from is still the
    // active one; a drag from this program's own windows has no source.
    m_dragTitle = event->source() || !dragSourceTitle ? QString() : dragSourceTitle();
}

void CollectorFace::dragMoveEvent(QDragMoveEvent* event)
{
    acceptAsCopy(event);
}

void CollectorFace::dragLeaveEvent(QDragLeaveEvent*)
{
    setHighlighted(false);
}

void CollectorFace::dropEvent(QDropEvent* event)
{
    setHighlighted(false);
    acceptAsCopy(event);
    if (!event->isAccepted())
        return;
    if (onDrop)
        onDrop(DropText::of(*event->mimeData()),
               ClipSources::of(m_dragTitle, event->mimeData(), QDateTime::currentDateTime()));
}

void CollectorFace::mousePressEvent(QMouseEvent* event)
{
    if (onMousePress)
        onMousePress(event);
}

void CollectorFace::mouseMoveEvent(QMouseEvent* event)
{
    if (onMouseMove)
        onMouseMove(event);
}
