#include "CollectorFace.h"

#include "DropText.h"
#include "QuorrelIcon.h"

#include <QDragEnterEvent>
#include <QMimeData>
#include <QPainter>


CollectorFace::CollectorFace(QWidget* parent) : QWidget(parent)
{
    setAcceptDrops(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setToolTip(QStringLiteral("把选中的文字拖放到这里"));
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
        onDrop(DropText::of(*event->mimeData()));
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
