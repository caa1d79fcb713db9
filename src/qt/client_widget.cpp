#include "qt/client_widget.h"

#include <QMouseEvent>
#include <QPainter>

#include "app/window_proc.h"
#include "model/program.h"

ClientWidget::ClientWidget(Program& program, Host& host, QWidget* parent)
    : QWidget(parent), program(program), host(host) {
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    backing = newBacking(808, 600);
}

QImage ClientWidget::newBacking(int w, int h) const {
    // Device pixels follow the screen's ratio so text and lines are drawn sharp on
    // a dense screen; every position stays in logical pixels.
    const qreal ratio = devicePixelRatioF();
    QImage image(qRound(w * ratio), qRound(h * ratio), QImage::Format_RGB32);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::white);
    return image;
}

ClientWidget::~ClientWidget() = default;

Rect ClientWidget::clientRect() const { return {0, 0, width(), height() + overlapBelow}; }

QtCanvas* ClientWidget::canvas() {
    if (!liveCanvas) liveCanvas = std::make_unique<QtCanvas>(backing, &screenText);
    liveCanvas->setClientRect(clientRect());
    return liveCanvas.get();
}

void ClientWidget::invalidate(bool erase) {
    pending = true;
    erasePending = erasePending || erase;
    update();
}

void ClientWidget::setOverlapBelow(int pixels) {
    if (pixels == overlapBelow) return;
    overlapBelow = pixels;
    growBacking();
    invalidate(true);
    Rect r = clientRect();
    WindowProc(program, host, msg::size, 0, static_cast<intptr_t>((r.height() << 16) | (r.width() & 0xFFFF)));
}

void ClientWidget::paintPending() {
    if (!pending) return;
    pending = false;
    QtCanvas* c = canvas();
    if (erasePending) c->erase();
    erasePending = false;
    WindowProc(program, host, msg::paint, 0, 0);
}

QImage ClientWidget::paintedImage() {
    paintPending();
    liveCanvas.reset();
    return backing;
}

void ClientWidget::paintEvent(QPaintEvent*) {
    if (backing.devicePixelRatio() != devicePixelRatioF()) {
        // Moved to a screen of another density: draw everything again at its resolution.
        liveCanvas.reset();
        backing = newBacking(backing.deviceIndependentSize().toSize().width(),
                             backing.deviceIndependentSize().toSize().height());
        screenText.clear();
        invalidate(true);
    }
    paintPending();
    liveCanvas.reset();  // ends the painter on the image before it is copied
    QPainter p(this);
    p.drawImage(0, 0, backing);
}

void ClientWidget::resizeEvent(QResizeEvent*) {
    growBacking();
    Rect r = clientRect();
    WindowProc(program, host, msg::size, 0, static_cast<intptr_t>((r.height() << 16) | (r.width() & 0xFFFF)));
    invalidate(true);
}

// The backing image takes the client area's size, keeping what it shows.
void ClientWidget::growBacking() {
    liveCanvas.reset();
    QImage bigger = newBacking(std::max(width(), 1), std::max(height() + overlapBelow, 1));
    {
        QPainter p(&bigger);
        p.drawImage(0, 0, backing);
    }
    backing = bigger;
}

static intptr_t PackPoint(const QPoint& p) {
    return static_cast<intptr_t>(((p.y() & 0xFFFF) << 16) | (p.x() & 0xFFFF));
}

void ClientWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        WindowProc(program, host, msg::leftButtonDown, 1, PackPoint(pos));
    else if (event->button() == Qt::RightButton)
        WindowProc(program, host, msg::rightButtonDown, 2, PackPoint(pos));
}

void ClientWidget::mouseMoveEvent(QMouseEvent* event) {
    WindowProc(program, host, msg::mouseMove, 0, PackPoint(event->position().toPoint()));
}
