#pragma once

#include "ClipSource.h"

#include <QWidget>

#include <functional>
#include <optional>

class QMimeData;

// The collector's face (`Label1`): an icon-like square that takes text drops
// and mouse presses. It lights up while a drag that carries text hovers over it.
class CollectorFace : public QWidget {
    Q_OBJECT
public:
    explicit CollectorFace(QWidget* parent = nullptr);

    // Asked as a drag from another program enters: the title of the window
    // it comes from ("" when that cannot be told).
    std::function<QString()> dragSourceTitle;
    std::function<void(const std::optional<QString>& text, const ClipSource& source)> onDrop;
    std::function<void(QMouseEvent* event)> onMousePress;
    std::function<void(QMouseEvent* event)> onMouseMove;

    bool isHighlighted() const { return m_highlighted; }
    // The tool tip names where the latest texts came from.
    void showRecentSources(const std::deque<ClipSource>& recent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;

private:
    void setHighlighted(bool on);

    bool m_highlighted = false;
    QString m_dragTitle; // of the window the current drag came from
};
